#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class QLabel;

namespace qv {

struct AccountTable;
class Clock;
class Feedback;
struct OptionState;
class Pauser;
class RunAndWait;

// Records a spoken attachment with the outside recorder (wavein28/waveIn beside the program)
// while the user waits; the recording goes with the next mail sent.
class VoiceRecorder : public QObject {
    Q_OBJECT
  public:
    VoiceRecorder(OptionState& options, const AccountTable& accounts, QLabel* mic, Feedback& out,
                  Pauser& pauser, const Clock& clock, RunAndWait& runner, QString program_dir,
                  QObject* parent);

    // INS in the body. When nothing could be recorded the user is told so and no recording is
    // pending afterwards, rather than a mail later going out without its voice.
    void record_voice();

    // A recording waits for the next send.
    bool voice_attached() const { return voice_attached_; }
    // The send took it (whether it went out or not).
    void used_up() { voice_attached_ = false; }
    // A recording named by voice_file waits (or no longer waits) for the next send.
    void set_voice_attached(bool on) { voice_attached_ = on; }
    // Where the recorder leaves the recording named by voice_file: the program's directory.
    QString voice_path() const;

    // "quorvel-" + user name + "-" + the date and time digits (yyyyMMddHHmmss). A "/" or ":"
    // never survives into the name, nor a double quote or backslash, which would break the
    // recorder's command line or lead out of the program's directory.
    static QString voice_file_name(const QString& user, const QDateTime& when);
    // The recorder's command line for the current voice_file and record_seconds.
    QString command_line() const;

    static QString recorder_program() { return QStringLiteral("wavein28/waveIn"); }

    // Words put before the file name on the recorder's command line, e.g. `--wav "in.wav"` to
    // record from a prepared sound instead of the microphone.
    QString recorder_extra_args;

  private:
    void failed(const QString& message);

    OptionState& options_;
    const AccountTable& accounts_;
    QLabel* mic_;
    Feedback& out_;
    Pauser& pauser_;
    const Clock& clock_;
    RunAndWait& runner_;
    QString program_dir_;
    bool voice_attached_ = false;
};

}  // namespace qv
