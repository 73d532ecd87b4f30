#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;

namespace qv {

class SpeechChannel;

// "読み上げ履歴": the last utterances, newest first. The arrows move through them and say where
// the user is and how the entry begins; ENTER says the whole entry again; ESC closes. Nothing
// said here is added to the history itself.
class SpeechHistoryDialog : public QDialog {
    Q_OBJECT
  public:
    SpeechHistoryDialog(SpeechChannel& speech, const QStringList& newestFirst,
                        QWidget* parent = nullptr);

    static QString caption() { return QStringLiteral("読み上げ履歴"); }
    static QString guide() { return QStringLiteral("[矢印:選択 ENTER:読む ESC:閉じる]"); }
    // How much of an entry the arrows read out.
    static constexpr int kPreviewLength = 40;

    QListWidget* list() const { return list_; }
    // Says the selected entry in full.
    void sayCurrent();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // interrupt: cut what is being said (a move), rather than follow it (the first entry).
    void sayPosition(int row, bool interrupt = true);
    void say(const QString& text);

    SpeechChannel& speech_;
    QListWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    bool greeted_ = false;
};

}  // namespace qv
