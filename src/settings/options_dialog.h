#pragma once

#include <QDialog>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabBar;

namespace qv {

class DialogVoice;
class Feedback;
class Options;

// "ｵﾌﾟｼｮﾝ": the signature, the start-up news and the recording length on three tab pages. Each
// opening builds it afresh from the database; closing destroys it. "OK" saves, "ｷｬﾝｾﾙ" and ESC
// leave everything as stored; either way the user hears which. A page chosen is said by its
// name.
class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    OptionsDialog(Options& options, Feedback& out, QWidget* parent);

    static constexpr int kMinSeconds = 1;
    static constexpr int kMaxSeconds = 3600;

    // Tab i (counted from 1) shows page i - 1 at left 210; the others lie at left -20000,
    // disabled, so the focus cannot reach their fields.
    void tbsOptions_Click();
    // Ctrl+Tab: the next tab, from the last back to the first.
    void select_next_tab();
    void cmdOK_Click();
    void cmdCancel_Click();
    // ESC too: says that nothing was changed.
    void reject() override;

    // The recording length typed, as a whole number of seconds in range (full-width digits
    // count); nothing for anything else.
    static std::optional<int> seconds_from(const QString& typed);

  private:
    void build();
    void say(const QString& message);

    Options& options_;
    Feedback& out_;
    QTabBar* tbsOptions_ = nullptr;
    std::array<QWidget*, 3> picOptions_{};
    QPlainTextEdit* signature1_ = nullptr;
    QCheckBox* newsCheck1_ = nullptr;
    QLineEdit* rec_sec_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    DialogVoice* voice_ = nullptr;
};

// "オプション(&O)": opens the options dialog, not modal; an open one is brought to the front.
class OptionsCommand : public QObject {
    Q_OBJECT
  public:
    // options: the in-memory options the dialog reads and writes.
    OptionsCommand(Options& options, Feedback& out, QWidget* window);

    OptionsDialog* t_option_Click();
    OptionsDialog* dialog() const { return open_; }

  private:
    Options& options_;
    Feedback& out_;
    QWidget* window_;
    QPointer<OptionsDialog> open_;
};

}  // namespace qv
