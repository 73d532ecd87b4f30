#pragma once

#include "core/feedback.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;

namespace qv {

class DialogVoice;
class SpeechChannel;

// "読み上げ履歴": the last utterances, newest first. The arrows move through them and say where
// the user is and how the entry begins; ENTER says the whole entry again; ESC closes. It speaks
// as every dialog does, but nothing said here is added to the history itself.
class SpeechHistoryDialog : public QDialog {
    Q_OBJECT
  public:
    // status: the main window's status line.
    SpeechHistoryDialog(SpeechChannel& speech, const QStringList& newestFirst, QLabel* status,
                        QWidget* parent = nullptr);
    ~SpeechHistoryDialog() override;

    static QString caption() { return QStringLiteral("読み上げ履歴"); }
    static QString guide() { return QStringLiteral("[矢印:選択 ENTER:読む ESC:閉じる]"); }
    // How much of an entry the arrows read out.
    static constexpr int kPreviewLength = 40;

    QListWidget* list() const { return list_; }
    // Says the selected entry in full.
    void sayCurrent();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The history's own words go out as repeats, which the history does not keep. A move cuts
    // the move before it, never the greeting.
    class UnrecordedVoice : public Voice {
      public:
        explicit UnrecordedVoice(SpeechChannel& speech) : speech_(speech) {}
        void speak(const QString& text) override;
        void speak_move(const QString& text) override;
        void silence() override;

      private:
        SpeechChannel& speech_;
        bool after_move_ = false;
    };

    SpeechChannel& speech_;
    UnrecordedVoice voice_;
    Feedback out_;
    QListWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace qv
