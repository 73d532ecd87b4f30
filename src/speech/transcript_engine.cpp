#include "speech/transcript_engine.h"

#include "speech/speech_channel.h"

namespace qv {

bool TranscriptEngine::say(const QString& text, QString* why) {
    QByteArray line = SpeechChannel::asLine(text).toUtf8();
    line.append('\n');
    if (std::fwrite(line.constData(), 1, size_t(line.size()), out_) != size_t(line.size()) ||
        std::fflush(out_) != 0) {
        if (why) *why = QStringLiteral("cannot write the transcript");
        return false;
    }
    return true;
}

}  // namespace qv
