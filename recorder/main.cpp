// The voice recorder the mail client runs as wavein28/waveIn to make a spoken attachment.
#include "capture.h"
#include "mp3_encoder.h"
#include "options.h"
#include "wav_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <cstdio>

using namespace qv::recorder;

namespace {

int complain(int code, const QString& message) {
    std::fprintf(stderr, "waveIn: %s\n", qUtf8Printable(message));
    return code;
}

bool encodeWav(const Options& o, Mp3Encoder* encoder, int* code, QString* error) {
    PcmAudio audio;
    *code = kExitInput;
    if (!readWavFile(o.wavPath, o.seconds, &audio, error)) return false;
    if (audio.samples.empty()) {
        *error = QStringLiteral("%1 holds no samples").arg(o.wavPath);
        return false;
    }
    *code = kExitOutput;
    return encoder->open({audio.sampleRate, o.outputRate, o.kbps, o.quality}, error) &&
           encoder->encode(audio.samples.data(), audio.samples.size(), error);
}

bool encodeDevice(const Options& o, Mp3Encoder* encoder, int* code, QString* error) {
    DeviceCapture capture({.stuckExitCode = kExitInput});
    *code = kExitInput;
    if (!capture.prepare(o.outputRate, error)) return false;
    if (!encoder->open({capture.sampleRate(), o.outputRate, o.kbps, o.quality}, error)) {
        *code = kExitOutput;
        return false;
    }
    bool encoderFailed = false;
    const auto sink = [&](const int16_t* samples, size_t count, QString* why) {
        encoderFailed = !encoder->encode(samples, count, why);
        return !encoderFailed;
    };
    if (!capture.record(o.seconds, sink, error)) {
        if (encoderFailed) *code = kExitOutput;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ParseResult parsed = parseArguments(app.arguments().mid(1));
    if (parsed.kind == ParseResult::Help) {
        std::fputs(qUtf8Printable(usageText()), stdout);
        return kExitOk;
    }
    if (parsed.kind == ParseResult::Error) {
        return complain(kExitUsage, parsed.error + QStringLiteral(" (see waveIn --help)"));
    }
    const Options& o = parsed.options;

    Mp3Encoder encoder;
    QString error;
    int code = kExitOk;
    const bool encoded = o.wavPath.isEmpty() ? encodeDevice(o, &encoder, &code, &error)
                                             : encodeWav(o, &encoder, &code, &error);
    if (!encoded) return complain(code, error);
    if (!encoder.finish(&error)) return complain(kExitOutput, error);

    // QSaveFile writes beside the target and renames on commit, so the client never sees a
    // half-written NAME.mp3, not even if we are killed.
    const QString path = QDir::current().filePath(o.baseName + QStringLiteral(".mp3"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(encoder.data()) != encoder.data().size() ||
        !file.commit()) {
        return complain(kExitOutput,
                        QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    return kExitOk;
}
