#include "speech/openjtalk_engine.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <functional>

namespace qv {

namespace {

// The first piece is cut short (at a 、 or blank) because open_jtalk gives nothing until it has
// synthesised its whole input: about 130 ms to start plus 8 ms per character on this kind of
// machine, which keeps a 24-character piece near the 300 ms a user notices as a lag.
constexpr int kMaxRun = 80;
constexpr int kFirstRun = 24;
// Synthesis runs ahead of playback by at most this much audio, so a long mail does not sit in
// memory as PCM all at once.
constexpr qint64 kLookaheadUs = 20'000'000;
// Playback counts as finished this close to the end; the output reports its position in steps.
constexpr qint64 kEndToleranceUs = 30'000;
constexpr int kPumpIntervalMs = 10;
// The pauses kept between pieces, by how a piece ends, close to what open_jtalk makes inside one
// input; a cut in mid-run must not be heard at all.
constexpr qint64 kLeadUs = 20'000;
constexpr qint64 kSentencePauseUs = 350'000;
constexpr qint64 kCommaPauseUs = 150'000;
constexpr qint64 kBlankPauseUs = 100'000;
constexpr qint64 kCutPauseUs = 10'000;
constexpr qint64 kLastTrailUs = 60'000;

bool isTerminator(QChar c) {
    return c == u'。' || c == u'！' || c == u'？' || c == u'!' || c == u'?';
}

// What may follow a sentence end and still belongs to it: 「本当？」 is one piece.
bool isCloser(QChar c) {
    static const QString closers = QStringLiteral("」』）)】〕〉》］]｝}\"'’”");
    return closers.contains(c);
}

bool isLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
           c == QChar(0x2028) || c == QChar(0x2029);
}

bool isSoftBreak(QChar c) { return c == u'、' || c == u'，' || c == u',' || c.isSpace(); }

class Graphemes {
  public:
    explicit Graphemes(const QString& s) : finder_(QTextBoundaryFinder::Grapheme, s) {}
    bool at(qsizetype i) {
        finder_.setPosition(i);
        return finder_.isAtBoundary();
    }
    qsizetype next(qsizetype i) {
        finder_.setPosition(i);
        return finder_.toNextBoundary();
    }

  private:
    QTextBoundaryFinder finder_;
};

// Where to cut s (longer than limit): after the last soft break in the last two thirds of the
// limit, else (when hard) at the last grapheme boundary within it. -1 when there is no soft break
// and a hard cut is not wanted.
qsizetype cutPoint(const QString& s, qsizetype limit, bool hard) {
    Graphemes g(s);
    for (qsizetype i = limit; i > limit / 3; --i) {
        if (isSoftBreak(s[i - 1]) && g.at(i)) return i;
    }
    if (!hard) return -1;
    for (qsizetype i = limit; i > 0; --i) {
        if (g.at(i)) return i;
    }
    // One grapheme longer than the limit stays whole.
    qsizetype end = g.next(0);
    return end > 0 ? end : s.size();
}

QString firstLine(const QByteArray& bytes) {
    const QString text = QString::fromLocal8Bit(bytes).trimmed();
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->contains(QLatin1String("rror"))) return it->trimmed();
    }
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

// open_jtalk says so when a piece has nothing it can pronounce ("「」", "…"): not a fault.
bool nothingToPronounce(const QByteArray& stderrBytes) {
    return stderrBytes.contains("No phoneme") || stderrBytes.contains("cannot be synthesized");
}

qint64 durationUs(const QAudioFormat& format, qint64 bytes) {
    const int frame = format.bytesPerFrame();
    if (frame <= 0 || format.sampleRate() <= 0) return 0;
    return (bytes / frame) * 1'000'000 / format.sampleRate();
}

qint64 pauseAfter(const QString& piece, bool last) {
    if (last) return kLastTrailUs;
    const QChar c = piece.back();
    if (isTerminator(c) || isCloser(c)) return kSentencePauseUs;
    if (c == u'、' || c == u'，' || c == u',') return kCommaPauseUs;
    if (c.isSpace()) return kBlankPauseUs;
    // Not a mark: either a line ended here (a pause) or a long run was cut (none).
    return piece.size() >= kMaxRun - 4 ? kCutPauseUs : kSentencePauseUs;
}

QString oneLine(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        if (isLineBreak(c)) c = u' ';
    }
    return line;
}

}  // namespace

QStringList split_for_speech(const QString& text, int maxRun, int firstRun) {
    maxRun = std::max(maxRun, 1);
    QStringList sentences;
    QString current;
    auto flush = [&] {
        if (!current.isEmpty()) sentences.append(current);
        current.clear();
    };
    Graphemes whole(text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isLineBreak(c)) {
            flush();
            continue;
        }
        current += c;
        if (isTerminator(c)) {
            while (i + 1 < text.size() &&
                   (isTerminator(text[i + 1]) || isCloser(text[i + 1]) || !whole.at(i + 1))) {
                current += text[++i];
            }
            flush();
        }
    }
    flush();

    QStringList pieces;
    auto add = [&](const QString& piece) {
        if (!piece.trimmed().isEmpty()) pieces.append(piece);
    };
    for (QString rest : sentences) {
        for (;;) {
            const bool early = pieces.isEmpty() && firstRun > 0 && firstRun < maxRun;
            qsizetype cut = -1;
            if (early && rest.size() > firstRun) cut = cutPoint(rest, firstRun, false);
            if (cut < 0 && rest.size() > maxRun) cut = cutPoint(rest, maxRun, true);
            if (cut < 0 || cut >= rest.size()) break;
            add(rest.left(cut));
            rest = rest.mid(cut);
        }
        add(rest);
    }
    return pieces;
}

qint64 WavAudio::durationUs() const { return qv::durationUs(format, pcm.size()); }

std::optional<WavAudio> parse_wav(const QByteArray& bytes) {
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    qsizetype pos = 12;
    std::optional<QAudioFormat> format;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const qint64 size = qFromLittleEndian<quint32>(data + pos + 4);
        pos += 8;
        if (id == "fmt ") {
            if (size < 16 || pos + 16 > bytes.size()) return std::nullopt;
            const quint16 tag = qFromLittleEndian<quint16>(data + pos);
            const quint16 channels = qFromLittleEndian<quint16>(data + pos + 2);
            const quint32 rate = qFromLittleEndian<quint32>(data + pos + 4);
            const quint16 bits = qFromLittleEndian<quint16>(data + pos + 14);
            // 1 is PCM; 0xFFFE (extensible) carries PCM too in the files we meet.
            if ((tag != 1 && tag != 0xFFFE) || channels == 0 || rate == 0 || rate > 1'000'000) {
                return std::nullopt;
            }
            QAudioFormat f;
            f.setSampleRate(int(rate));
            f.setChannelCount(channels);
            switch (bits) {
                case 8:
                    f.setSampleFormat(QAudioFormat::UInt8);
                    break;
                case 16:
                    f.setSampleFormat(QAudioFormat::Int16);
                    break;
                case 32:
                    f.setSampleFormat(QAudioFormat::Int32);
                    break;
                default:
                    return std::nullopt;
            }
            format = f;
        } else if (id == "data") {
            if (!format) return std::nullopt;
            // A writer that could not seek back leaves the size unset: take what is there.
            qint64 length = std::min<qint64>(size, bytes.size() - pos);
            length -= length % format->bytesPerFrame();
            return WavAudio{*format, bytes.mid(pos, length)};
        }
        pos += size + (size & 1);
    }
    return std::nullopt;
}

void trim_silence(WavAudio& audio, qint64 keepLeadUs, qint64 keepTrailUs) {
    if (audio.format.sampleFormat() != QAudioFormat::Int16) return;
    const int channels = audio.format.channelCount();
    const qint64 frames = audio.pcm.size() / audio.format.bytesPerFrame();
    const auto* samples = reinterpret_cast<const qint16*>(audio.pcm.constData());
    constexpr int kThreshold = 328;  // 1% of full scale
    auto loud = [&](qint64 frame) {
        for (int ch = 0; ch < channels; ++ch) {
            if (std::abs(int(samples[frame * channels + ch])) > kThreshold) return true;
        }
        return false;
    };
    qint64 first = 0;
    while (first < frames && !loud(first)) ++first;
    if (first == frames) {
        audio.pcm.clear();
        return;
    }
    qint64 last = frames - 1;
    while (last > first && !loud(last)) --last;
    const qint64 rate = audio.format.sampleRate();
    const qint64 begin = std::max<qint64>(0, first - keepLeadUs * rate / 1'000'000);
    const qint64 end = std::min<qint64>(frames, last + 1 + keepTrailUs * rate / 1'000'000);
    const int frameBytes = audio.format.bytesPerFrame();
    audio.pcm = audio.pcm.mid(begin * frameBytes, (end - begin) * frameBytes);
}

OpenJTalkEngine::OpenJTalkEngine() : OpenJTalkEngine(Paths{}) {}

OpenJTalkEngine::OpenJTalkEngine(Paths paths) : paths_(std::move(paths)) {}

OpenJTalkEngine::~OpenJTalkEngine() = default;

QString OpenJTalkEngine::findProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("open_jtalk"));
}

QString OpenJTalkEngine::findDictionary() {
    static const char* const candidates[] = {
        "/var/lib/mecab/dic/open-jtalk/naist-jdic",
        "/usr/share/open-jtalk/dic",
        "/usr/local/share/open-jtalk/dic",
        "/usr/local/lib/open_jtalk/dic",
    };
    for (const char* dir : candidates) {
        if (QFileInfo::exists(QString::fromLatin1(dir) + QLatin1String("/sys.dic"))) {
            return QString::fromLatin1(dir);
        }
    }
    return {};
}

QString OpenJTalkEngine::findVoice() {
    const QStringList found = findVoices();
    for (const QString& path : found) {
        if (voiceName(path) == QLatin1String("nitech_jp_atr503_m001")) return path;
    }
    return found.isEmpty() ? QString() : found.first();
}

void OpenJTalkEngine::setRate(double rate) {
    std::lock_guard lock(settingsMutex_);
    settings_.rate = std::clamp(rate, 0.3, 3.0);
}

double OpenJTalkEngine::rate() const {
    std::lock_guard lock(settingsMutex_);
    return settings_.rate;
}

void OpenJTalkEngine::setVolume(double volume) {
    std::lock_guard lock(settingsMutex_);
    settings_.volume = std::clamp(volume, 0.0, 1.0);
}

double OpenJTalkEngine::volume() const {
    std::lock_guard lock(settingsMutex_);
    return settings_.volume;
}

void OpenJTalkEngine::setVoice(const QString& htsVoicePath) {
    std::lock_guard lock(settingsMutex_);
    settings_.voice = htsVoicePath;
}

QString OpenJTalkEngine::voice() const {
    std::lock_guard lock(settingsMutex_);
    return settings_.voice.isEmpty() ? paths_.voice : settings_.voice;
}

void OpenJTalkEngine::setOutputDevice(const QByteArray& id) {
    std::lock_guard lock(settingsMutex_);
    settings_.device = id;
}

OpenJTalkEngine::Settings OpenJTalkEngine::settings() const {
    std::lock_guard lock(settingsMutex_);
    Settings s = settings_;
    if (s.voice.isEmpty()) s.voice = paths_.voice;
    return s;
}

bool OpenJTalkEngine::resolvePaths(QString* why) {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (paths_.program.isEmpty()) paths_.program = findProgram();
    if (paths_.program.isEmpty() || !QFileInfo(paths_.program).isExecutable()) {
        return fail(QStringLiteral("open_jtalk is not installed (package open-jtalk)"));
    }
    if (paths_.dictionary.isEmpty()) paths_.dictionary = findDictionary();
    if (paths_.dictionary.isEmpty() ||
        !QFileInfo::exists(paths_.dictionary + QLatin1String("/sys.dic"))) {
        return fail(QStringLiteral(
            "the Open JTalk dictionary is missing (package open-jtalk-mecab-naist-jdic)"));
    }
    QString voicePath;
    {
        std::lock_guard lock(settingsMutex_);
        if (paths_.voice.isEmpty()) paths_.voice = findVoice();
        voicePath = settings_.voice.isEmpty() ? paths_.voice : settings_.voice;
    }
    if (voicePath.isEmpty() || !QFileInfo(voicePath).isFile()) {
        return fail(voicePath.isEmpty()
                        ? QStringLiteral("no Open JTalk voice is installed (package "
                                         "hts-voice-nitech-jp-atr503-m001)")
                        : QStringLiteral("the Open JTalk voice %1 is missing").arg(voicePath));
    }
    return true;
}

bool OpenJTalkEngine::ensureWorkDir(QString* why) {
    if (workDir_ && workDir_->isValid()) return true;
    workDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QLatin1String("/quorvel-openjtalk-XXXXXX"));
    if (!workDir_->isValid()) {
        if (why) *why = QStringLiteral("cannot create a temporary directory for the speech");
        workDir_.reset();
        return false;
    }
    return true;
}

QStringList OpenJTalkEngine::arguments(const Settings& s, const QString& wavPath) const {
    return {QStringLiteral("-x"),  paths_.dictionary,
            QStringLiteral("-m"),  s.voice,
            QStringLiteral("-r"),  QString::number(s.rate, 'f', 2),
            QStringLiteral("-ow"), wavPath};
}

bool OpenJTalkEngine::synthesise(const QString& text, QByteArray* wav, QString* why) {
    if (!resolvePaths(why) || !ensureWorkDir(why)) return false;
    const QString wavPath = workDir_->filePath(QStringLiteral("synthesise.wav"));
    QFile::remove(wavPath);
    QProcess process;
    process.start(paths_.program, arguments(settings(), wavPath));
    if (!process.waitForStarted(5000)) {
        if (why) *why = QStringLiteral("cannot start open_jtalk: %1").arg(process.errorString());
        return false;
    }
    process.write(oneLine(text).toUtf8() + '\n');
    process.closeWriteChannel();
    if (!process.waitForFinished(10000 + 100 * int(text.size()))) {
        process.kill();
        process.waitForFinished(1000);
        if (why) *why = QStringLiteral("open_jtalk did not finish");
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (why) {
            *why = QStringLiteral("open_jtalk failed: %1")
                       .arg(firstLine(process.readAllStandardError()));
        }
        return false;
    }
    QFile file(wavPath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why) *why = QStringLiteral("open_jtalk wrote no audio");
        return false;
    }
    *wav = file.readAll();
    file.close();
    QFile::remove(wavPath);
    return true;
}

bool OpenJTalkEngine::open(QString* why) {
    if (!resolvePaths(why) || !ensureWorkDir(why)) return false;
    if (QMediaDevices::audioOutputs().isEmpty() || QMediaDevices::defaultAudioOutput().isNull()) {
        if (why) *why = QStringLiteral("no audio output (no sound card and no sound server)");
        return false;
    }
    // A broken dictionary or voice shows only when used: find out now rather than mid-mail.
    QByteArray wav;
    QString reason;
    if (!synthesise(QStringLiteral("あ"), &wav, &reason)) {
        if (why) *why = reason;
        return false;
    }
    const auto audio = parse_wav(wav);
    if (!audio || audio->pcm.isEmpty()) {
        if (why) *why = QStringLiteral("open_jtalk wrote no usable audio");
        return false;
    }
    if (!QMediaDevices::defaultAudioOutput().isFormatSupported(audio->format)) {
        if (why) *why = QStringLiteral("the audio output cannot play Open JTalk's format");
        return false;
    }
    return true;
}

void OpenJTalkEngine::stop() { stopRequested_ = true; }

void OpenJTalkEngine::rearm() { stopRequested_ = false; }

QStringList OpenJTalkEngine::findVoices() {
    QStringList found;
    for (const char* root : {"/usr/share/hts-voice", "/usr/local/share/hts-voice"}) {
        QDirIterator it(QString::fromLatin1(root), {QStringLiteral("*.htsvoice")}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) found.append(it.next());
    }
    found.sort();
    found.removeDuplicates();
    return found;
}

QString OpenJTalkEngine::voiceName(const QString& path) {
    return QFileInfo(path).completeBaseName();
}

QStringList OpenJTalkEngine::voices() const {
    QStringList names;
    for (const QString& path : findVoices()) {
        const QString name = voiceName(path);
        if (!names.contains(name)) names.append(name);
    }
    return names;
}

void OpenJTalkEngine::applySettings(const VoiceSettings& settings) {
    setRate(settings.rate / 100.0);
    setVolume(settings.volume / 100.0);
    QString path;
    if (!settings.voice.isEmpty()) {
        for (const QString& candidate : findVoices()) {
            if (voiceName(candidate) == settings.voice) {
                path = candidate;
                break;
            }
        }
    }
    // A voice that has been uninstalled since it was chosen gives way to the default one.
    setVoice(path);
}

bool OpenJTalkEngine::say(const QString& text, QString* why) {
    QElapsedTimer clock;
    clock.start();
    firstSoundUs_ = -1;
    // A stop() that came before this call still counts: the channel clears an old one with
    // rearm() before it hands over the text.

    const QStringList pieces = split_for_speech(text, kMaxRun, kFirstRun);
    if (pieces.isEmpty()) return true;
    QString reason;
    auto failWith = [&](const QString& r) {
        if (why) *why = r;
        return false;
    };
    if (!resolvePaths(&reason) || !ensureWorkDir(&reason)) return failWith(reason);
    const Settings s = settings();
    QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!s.device.isEmpty()) {
        for (const QAudioDevice& d : QMediaDevices::audioOutputs()) {
            if (d.id() == s.device) device = d;
        }
    }
    if (device.isNull()) return failWith(QStringLiteral("no audio output"));

    // Created before any QProcess: it gives this plain thread the event dispatcher they need.
    QEventLoop loop;
    enum class End { None, Done, Stopped, Failed };
    End end = End::None;
    auto finish = [&](End e, const QString& r = {}) {
        if (end != End::None) return;
        end = e;
        reason = r;
        loop.quit();
    };

    qsizetype next = 0;
    int wavSerial = 0;
    std::unique_ptr<QProcess> process;
    QString processWav;
    QString processPiece;
    QElapsedTimer processClock;
    qint64 processLimitMs = 0;

    std::optional<QAudioFormat> format;
    std::unique_ptr<QAudioSink> sink;
    QIODevice* output = nullptr;
    QByteArray pending;  // synthesised audio from offset sent on is not yet with the output
    qsizetype sent = 0;
    qint64 writtenBytes = 0;
    QElapsedTimer playClock;
    QElapsedTimer sinceTick;
    qint64 starvedMs = 0;  // time the output had played everything and waited for open_jtalk

    std::function<void()> pump;

    auto startSynthesis = [&] {
        processPiece = pieces[next++];
        const QString& piece = processPiece;
        processWav = workDir_->filePath(QStringLiteral("piece-%1.wav").arg(wavSerial++ % 2));
        QFile::remove(processWav);
        process = std::make_unique<QProcess>();
        QProcess* p = process.get();
        // Queued, so that the handler may destroy the process it reports on.
        QObject::connect(
            p, &QProcess::finished, &loop,
            [&, p] {
                if (process.get() == p) pump();
            },
            Qt::QueuedConnection);
        QObject::connect(
            p, &QProcess::errorOccurred, &loop,
            [&, p](QProcess::ProcessError e) {
                if (process.get() == p && e == QProcess::FailedToStart) {
                    finish(End::Failed,
                           QStringLiteral("cannot start open_jtalk: %1").arg(p->errorString()));
                }
            },
            Qt::QueuedConnection);
        processClock.start();
        processLimitMs = 10000 + 100 * qint64(piece.size());
        p->start(paths_.program, arguments(s, processWav));
        p->write(piece.toUtf8() + '\n');
        p->closeWriteChannel();
    };

    // Takes the audio of a finished synthesis. False when it ended the utterance.
    auto collect = [&]() -> bool {
        std::unique_ptr<QProcess> p = std::move(process);
        const QByteArray err = p->readAllStandardError();
        QFile file(processWav);
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
        file.close();
        QFile::remove(processWav);
        if (p->error() == QProcess::FailedToStart) {
            finish(End::Failed,
                   QStringLiteral("cannot start open_jtalk: %1").arg(p->errorString()));
            return false;
        }
        if (p->exitStatus() != QProcess::NormalExit) {
            finish(End::Failed, QStringLiteral("open_jtalk crashed"));
            return false;
        }
        if (p->exitCode() != 0) {
            if (nothingToPronounce(err)) return true;
            finish(End::Failed, QStringLiteral("open_jtalk failed: %1").arg(firstLine(err)));
            return false;
        }
        auto audio = parse_wav(bytes);
        if (!audio) {
            finish(End::Failed, QStringLiteral("open_jtalk wrote no usable audio"));
            return false;
        }
        trim_silence(*audio, kLeadUs, pauseAfter(processPiece, next >= pieces.size()));
        if (!format) {
            format = audio->format;
            sink = std::make_unique<QAudioSink>(device, *format);
            sink->setVolume(s.volume);
            output = sink->start();
            playClock.start();
            if (!output) {
                finish(End::Failed, QStringLiteral("cannot open the audio output"));
                return false;
            }
        } else if (audio->format != *format) {
            finish(End::Failed, QStringLiteral("open_jtalk changed its audio format"));
            return false;
        }
        // Compacted only here, once a piece: the output takes a few milliseconds at a time.
        pending = pending.mid(sent) + audio->pcm;
        sent = 0;
        return true;
    };

    pump = [&] {
        if (end != End::None) return;
        if (stopRequested_) {
            finish(End::Stopped);
            return;
        }
        if (process && process->state() == QProcess::NotRunning && !collect()) return;
        if (process && processClock.elapsed() > processLimitMs) {
            finish(End::Failed, QStringLiteral("open_jtalk did not finish"));
            return;
        }
        if (sink) {
            const QAudio::Error error = sink->error();
            if (error == QAudio::OpenError || error == QAudio::IOError ||
                error == QAudio::FatalError) {
                finish(End::Failed, QStringLiteral("the audio output failed"));
                return;
            }
            qsizetype n = std::min<qsizetype>(sink->bytesFree(), pending.size() - sent);
            n -= n % format->bytesPerFrame();
            if (n > 0) {
                const qint64 written = output->write(pending.constData() + sent, n);
                if (written > 0) {
                    if (firstSoundUs_ < 0) firstSoundUs_ = clock.nsecsElapsed() / 1000;
                    sent += written;
                    writtenBytes += written;
                }
            }
        }
        const qsizetype waiting = pending.size() - sent;
        if (!process && next < pieces.size() &&
            (!format || durationUs(*format, waiting) < kLookaheadUs)) {
            startSynthesis();
        }
        const bool allHandedOver = !process && next >= pieces.size() && waiting == 0;
        if (!sink) {
            if (allHandedOver) finish(End::Done);  // nothing in it could be pronounced
            return;
        }
        const qint64 writtenUs = durationUs(*format, writtenBytes);
        const bool playedAll = sink->processedUSecs() >= writtenUs - kEndToleranceUs;
        if (allHandedOver && playedAll) {
            finish(End::Done);
            return;
        }
        // Waiting for open_jtalk on a busy machine is not the output's fault.
        if (playedAll && waiting == 0 && sinceTick.isValid()) starvedMs += sinceTick.elapsed();
        sinceTick.start();
        // Real outputs lag a little and a sound server may need a second to wake up; an output
        // that takes half as long again as the audio plus that is not playing at all.
        if (playClock.elapsed() - starvedMs > writtenUs / 1000 * 3 / 2 + 3000) {
            finish(End::Failed, QStringLiteral("audio output stalled"));
        }
    };

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kPumpIntervalMs);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] { pump(); });
    ticker.start();
    pump();
    if (end == End::None) loop.exec();
    ticker.stop();

    // The output goes first: a stop must be heard at once, before any tidying up.
    if (sink) {
        // Drops what is still buffered.
        if (end != End::Done) sink->reset();
        sink->stop();
        sink.reset();
    }
    if (process) {
        process->kill();
        process->waitForFinished(1000);
        process.reset();
    }
    // The stop has done its work; a later utterance starts afresh.
    if (end == End::Stopped) stopRequested_ = false;
    if (end == End::Failed) return failWith(reason);
    return true;
}

}  // namespace qv
