#pragma once

#include <QObject>
#include <QString>

namespace qv {

class MailStore;

// The options in memory: read at start-up, used by composing and recording, changed by the
// options dialog and by each recording.
struct OptionState {
    QString signature_text;
    int record_seconds = 30;
    QString voice_file;  // the base name of the last voice recording
};

// What the three option tables hold, as the options dialog shows it.
struct OptionValues {
    bool news_sel = false;   // the news check box: read the latest news at start-up
    QString signature_text;  // a new message body starts with a line break and this
    int record_seconds = 0;  // length of a spoken attachment recording
    QString voice_file;      // the last voice file's name
};

// The options in memory. read_options() is called at start-up and by the options dialog each
// time it opens; the dialog fills its controls from what it returns (ticking the news box only
// when news_sel is true). Writing the options back belongs beside it, with the dialog.
class Options : public QObject {
    Q_OBJECT
  public:
    Options(OptionState& state, MailStore& store, QObject* parent = nullptr);

    // Loads signature_text and record_seconds into memory and returns them with the news choice
    // and the stored voice file name. An option table without its row leaves the value in memory
    // as it was (and says so on stderr).
    OptionValues read_options();
    // The start-up's reading: read_options(), and voice_file too. From then on voice_file is the
    // recorder's: each recording replaces it, and a recording waiting to be sent keeps its name
    // however often the options dialog reads the options again.
    void read_startup_options();

    // The options dialog's "OK": writes the news choice, the signature and the recording length,
    // in that order, into every row of their tables. Memory is left as it is. False at the first
    // statement the database refused (the ones before it stay written).
    [[nodiscard]] bool write_options(const OptionValues& values);
    // What was saved is used from the next message and recording on, not only after a restart.
    void use(const OptionValues& values);

    MailStore& store() { return store_; }

  private:
    OptionState& state_;
    MailStore& store_;
};

}  // namespace qv
