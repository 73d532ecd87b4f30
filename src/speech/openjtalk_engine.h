#pragma once

#include "speech/speech_engine.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class QTemporaryDir;

namespace qv {

// Cuts a text into pieces that can be synthesised one after another while the previous one
// plays, so the first words are heard soon. Pieces end after 。！？!? (with the closing brackets
// and further marks that follow them) and at line breaks, which are dropped: open_jtalk reads
// only the first line of its input. A run longer than maxRun characters is cut after its last
// 、，, or blank, or failing that at maxRun, never inside a character or before a combining mark.
// firstRun > 0 asks for an early cut of the first piece too, but only after a 、 or a blank, since
// a cut elsewhere would be heard. Blank pieces are left out; nothing else is changed or lost.
QStringList split_for_speech(const QString& text, int maxRun = 80, int firstRun = 0);

// Uncompressed PCM read from a WAV file image.
struct WavAudio {
    QAudioFormat format;
    QByteArray pcm;
    qint64 durationUs() const;
};

// Reads a RIFF/WAVE image holding 8-, 16- or 32-bit integer PCM. std::nullopt for anything else.
std::optional<WavAudio> parse_wav(const QByteArray& bytes);

// Shortens the near-silence (below 1% of full scale) at both ends of 16-bit audio to at most
// keepLeadUs and keepTrailUs. open_jtalk pads every piece with about 0.35 s before and 0.6 s after
// the voice: left alone, that delays the first word and puts a long pause at every cut. Audio
// that is silent throughout becomes empty; other sample formats are left as they are.
void trim_silence(WavAudio& audio, qint64 keepLeadUs, qint64 keepTrailUs);

// Japanese speech from Open JTalk, played through Qt Multimedia on the default audio output.
class OpenJTalkEngine : public SpeechEngine {
  public:
    // Where the pieces are; an empty member is looked for in the usual Debian places at open().
    struct Paths {
        QString program;     // open_jtalk
        QString dictionary;  // the NAIST dictionary directory
        QString voice;       // an .htsvoice file
    };

    OpenJTalkEngine();
    explicit OpenJTalkEngine(Paths paths);
    ~OpenJTalkEngine() override;
    OpenJTalkEngine(const OpenJTalkEngine&) = delete;
    OpenJTalkEngine& operator=(const OpenJTalkEngine&) = delete;

    QString name() const override { return QStringLiteral("openjtalk"); }
    bool open(QString* why) override;
    bool say(const QString& text, QString* why) override;
    void stop() override;
    void rearm() override;
    // Rate in percent becomes the -r factor, volume in percent the output's loudness, and the
    // voice a name from voices() (an .htsvoice file's base name).
    void applySettings(const VoiceSettings& settings) override;
    QStringList voices() const override;

    // The setters may be called from any thread; they take effect with the next say().
    // Speaking speed as open_jtalk's -r factor (1.0 normal), kept within 0.3..3.0.
    void setRate(double rate);
    double rate() const;
    // Loudness on the audio output, 0..1.
    void setVolume(double volume);
    double volume() const;
    // An .htsvoice file; empty chooses the installed default again.
    void setVoice(const QString& htsVoicePath);
    QString voice() const;
    // The QAudioDevice::id() to play on; empty, or a device that has gone, means the default.
    void setOutputDevice(const QByteArray& id);

    // Synthesises one line of text into a WAV image without playing it. Needs no audio output.
    bool synthesise(const QString& text, QByteArray* wav, QString* why);

    // Microseconds from the start of the last say() to the first audio handed to the output, or
    // -1 when it had none. For measurements.
    qint64 lastFirstSoundUs() const { return firstSoundUs_.load(); }

    static QString findProgram();
    static QString findDictionary();
    // Prefers the nitech_jp_atr503_m001 voice among the installed ones.
    static QString findVoice();
    // Every installed .htsvoice file, sorted.
    static QStringList findVoices();
    static QString voiceName(const QString& htsVoicePath);

  private:
    struct Settings {
        double rate = 1.0;
        double volume = 1.0;
        QString voice;
        QByteArray device;
    };
    bool resolvePaths(QString* why);
    bool ensureWorkDir(QString* why);
    QStringList arguments(const Settings& s, const QString& wavPath) const;
    Settings settings() const;

    Paths paths_;
    std::unique_ptr<QTemporaryDir> workDir_;
    mutable std::mutex settingsMutex_;
    Settings settings_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<qint64> firstSoundUs_{-1};
};

}  // namespace qv
