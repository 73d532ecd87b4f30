#include "speech/speech_engines.h"

#include "speech/openjtalk_engine.h"
#include "speech/qt_tts_engine.h"
#include "speech/transcript_engine.h"

namespace qv {

bool is_speech_mode(const QString& mode) {
    return mode == QLatin1String("auto") || mode == QLatin1String("openjtalk") ||
           mode == QLatin1String("qt") || mode == QLatin1String("transcript");
}

std::vector<SpeechEngineFactory> make_speech_engines(const QString& mode,
                                                     std::FILE* transcriptOut) {
    const SpeechEngineFactory openJTalk = [] { return std::make_unique<OpenJTalkEngine>(); };
    const SpeechEngineFactory speechd = [] {
        return std::make_unique<QtTtsEngine>(QStringLiteral("speechd"));
    };
    const SpeechEngineFactory flite = [] {
        return std::make_unique<QtTtsEngine>(QStringLiteral("flite"));
    };
    const SpeechEngineFactory transcript = [transcriptOut] {
        return std::make_unique<TranscriptEngine>(transcriptOut);
    };

    if (mode == QLatin1String("transcript")) return {transcript};
    if (mode == QLatin1String("openjtalk")) return {openJTalk, transcript};
    if (mode == QLatin1String("qt")) return {speechd, flite, transcript};
    return {openJTalk, speechd, flite, transcript};
}

}  // namespace qv
