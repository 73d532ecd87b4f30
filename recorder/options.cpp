#include "options.h"

#include <QCommandLineParser>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace qv::recorder {

namespace {

constexpr int kMaxSeconds = 3600;
constexpr int kMinKbps = 8;
constexpr int kMaxKbps = 320;
constexpr int kWorstQuality = 9;

// MPEG-1, MPEG-2 and MPEG-2.5 rates: the only ones an MP3 frame header can carry.
constexpr std::array<int, 9> kMp3Rates = {8000,  11025, 12000, 16000, 22050,
                                          24000, 32000, 44100, 48000};

bool parseWholeNumber(const QString& text, int min, int max, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < min || v > max) return false;
    *out = v;
    return true;
}

bool isBareName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QChar(0)) return false;
    }
    return true;
}

ParseResult fail(const QString& message) {
    ParseResult r;
    r.kind = ParseResult::Error;
    r.error = message;
    return r;
}

}  // namespace

int nearestMp3Rate(double hz) {
    int best = kMp3Rates.front();
    for (const int rate : kMp3Rates) {
        if (std::abs(rate - hz) <= std::abs(best - hz)) best = rate;
    }
    return best;
}

QString usageText() {
    return QStringLiteral(
        "Usage: waveIn -t SECONDS [-b KBPS] [-f QUALITY] [-sr KHZ] [--wav FILE] NAME\n"
        "\n"
        "Records the default audio input for SECONDS and writes NAME.mp3 (mono, constant\n"
        "bitrate) into the current directory.\n"
        "\n"
        "  -t SECONDS   length of the recording, a whole number from 1 to 3600 (required).\n"
        "               Counted in captured samples, not in wall-clock time.\n"
        "  -b KBPS      MP3 bitrate in kbit/s, 8 to 320 (default 32). If the output sample\n"
        "               rate does not allow it, the nearest bitrate it allows is used.\n"
        "  -f QUALITY   encoder quality, 0 (best, slowest) to 9 (fastest); larger values\n"
        "               mean 9 (default 5).\n"
        "  -sr KHZ      output sample rate in kHz, e.g. 32.2; values of 1000 and more are\n"
        "               taken as Hz. The nearest MP3 rate is used: 8, 11.025, 12, 16,\n"
        "               22.05, 24, 32, 44.1 or 48 kHz (default 32).\n"
        "  --wav FILE   read a 16-bit PCM WAV file instead of the audio input; its first\n"
        "               SECONDS are used, or all of it if it is shorter.\n"
        "  -h, --help   print this text and exit.\n"
        "  NAME         base name of the output file, without a directory.\n"
        "\n"
        "Exit status: 0 success, 2 bad arguments, 3 no audio input (or the WAV file cannot\n"
        "be read), 4 the MP3 file cannot be encoded or written.\n");
}

ParseResult parseArguments(const QStringList& args) {
    QCommandLineParser parser;
    // "-sr" and "-t" as the mail client writes them: one dash, a name of any length.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption seconds(QStringLiteral("t"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption kbps(QStringLiteral("b"), QString(), QStringLiteral("KBPS"));
    const QCommandLineOption quality(QStringLiteral("f"), QString(), QStringLiteral("QUALITY"));
    const QCommandLineOption rate(QStringLiteral("sr"), QString(), QStringLiteral("KHZ"));
    const QCommandLineOption wav(QStringLiteral("wav"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOptions({seconds, kbps, quality, rate, wav, help});

    if (!parser.parse(QStringList{QStringLiteral("waveIn")} + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        return fail(unknown.isEmpty() ? parser.errorText()
                                      : QStringLiteral("unknown option -%1").arg(unknown.first()));
    }
    ParseResult result;
    if (parser.isSet(help)) {
        result.kind = ParseResult::Help;
        return result;
    }
    Options& o = result.options;
    if (!parser.isSet(seconds)) return fail(QStringLiteral("-t SECONDS is required"));
    if (!parseWholeNumber(parser.value(seconds), 1, kMaxSeconds, &o.seconds)) {
        return fail(QStringLiteral("-t wants whole seconds from 1 to %1, not \"%2\"")
                        .arg(kMaxSeconds)
                        .arg(parser.value(seconds)));
    }
    if (parser.isSet(kbps) && !parseWholeNumber(parser.value(kbps), kMinKbps, kMaxKbps, &o.kbps)) {
        return fail(QStringLiteral("-b wants a bitrate from %1 to %2 kbit/s, not \"%3\"")
                        .arg(kMinKbps)
                        .arg(kMaxKbps)
                        .arg(parser.value(kbps)));
    }
    if (parser.isSet(quality)) {
        int q = 0;
        if (!parseWholeNumber(parser.value(quality), 0, 1000, &q)) {
            return fail(QStringLiteral("-f wants a whole number of 0 or more, not \"%1\"")
                            .arg(parser.value(quality)));
        }
        o.quality = std::min(q, kWorstQuality);
    }
    if (parser.isSet(rate)) {
        bool ok = false;
        double khz = parser.value(rate).toDouble(&ok);
        if (ok && khz >= 1000) khz /= 1000;
        if (!ok || !std::isfinite(khz) || khz <= 0 || khz > 384) {
            return fail(QStringLiteral("-sr wants a sample rate in kHz, not \"%1\"")
                            .arg(parser.value(rate)));
        }
        o.outputRate = nearestMp3Rate(khz * 1000);
    }
    if (parser.isSet(wav)) {
        if (parser.value(wav).isEmpty()) return fail(QStringLiteral("--wav needs a file name"));
        o.wavPath = parser.value(wav);
    }
    const QStringList names = parser.positionalArguments();
    if (names.isEmpty()) return fail(QStringLiteral("no output name given"));
    if (names.size() > 1) {
        return fail(QStringLiteral("more than one name given: \"%1\"").arg(names.at(1)));
    }
    if (!isBareName(names.first())) {
        return fail(QStringLiteral("the name must be a plain file name without a directory: \"%1\"")
                        .arg(names.first()));
    }
    o.baseName = names.first();
    result.kind = ParseResult::Run;
    return result;
}

}  // namespace qv::recorder
