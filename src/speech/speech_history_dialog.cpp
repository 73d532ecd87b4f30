#include "speech/speech_history_dialog.h"

#include "core/dialog_voice.h"
#include "speech/speech_channel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace qv {

void SpeechHistoryDialog::UnrecordedVoice::speak(const QString& text) {
    after_move_ = false;
    speech_.repeat(text);
}

void SpeechHistoryDialog::UnrecordedVoice::speak_move(const QString& text) {
    // Moving on makes the previous entry uninteresting: only the newest position is said.
    if (after_move_) speech_.silence();
    after_move_ = true;
    speech_.repeat(text);
}

void SpeechHistoryDialog::UnrecordedVoice::silence() { speech_.silence(); }

SpeechHistoryDialog::SpeechHistoryDialog(SpeechChannel& speech, const QStringList& newestFirst,
                                         QLabel* status, QWidget* parent)
    : QDialog(parent), speech_(speech), voice_(speech), out_(voice_, status) {
    setObjectName(QStringLiteral("SpeechHistory"));
    setWindowTitle(caption());
    auto* guideLabel = new QLabel(guide(), this);
    guideLabel->setAccessibleName(QStringLiteral("キーの案内"));
    guideLabel->setAccessibleDescription(QStringLiteral("この画面で使えるキー"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("speech_history"));
    list_->setAccessibleName(QStringLiteral("一覧"));
    list_->setAccessibleDescription(
        QStringLiteral("読み上げた言葉、新しい順。ENTERキーで全部を読み上げます"));
    int row = 0;
    for (const QString& text : newestFirst) {
        // One line each in the list; the entry itself keeps its line breaks.
        auto* item = new QListWidgetItem(SpeechChannel::asLine(text), list_);
        item->setData(Qt::UserRole, text);
        QString preview = text.left(kPreviewLength);
        if (text.size() > kPreviewLength) preview += QStringLiteral("…");
        item->setData(Qt::AccessibleTextRole, QStringLiteral("%1件目 %2").arg(++row).arg(preview));
    }
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("speech_history_status"));
    status_->setAccessibleName(QStringLiteral("状態"));
    status_->setAccessibleDescription(QStringLiteral("いま選んでいる読み上げ"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(guideLabel);
    column->addWidget(list_);
    column->addWidget(status_);
    resize(640, 420);
    if (list_->count() > 0) list_->setCurrentRow(0);
    list_->installEventFilter(this);
    list_->setFocus();
    new DialogVoice(this, out_,
                    list_->count() == 0
                        ? QStringLiteral("記録はありません。ESCキーで閉じます")
                        : QStringLiteral("%1件。新しい順です。上下の矢印キーで選び、ENTERキーで読"
                                         "み上げます。ESCキーで閉じます")
                              .arg(list_->count()),
                    status_);
}

// The dialog's voice speaks through out_, which is gone before the children are: the voice goes
// first, while out_ is still there.
SpeechHistoryDialog::~SpeechHistoryDialog() { delete DialogVoice::of(this); }

void SpeechHistoryDialog::sayCurrent() {
    const int row = list_->currentRow();
    if (row < 0) {
        out_.tell(QStringLiteral("読み上げ履歴はありません"));
        return;
    }
    speech_.silence();
    const QString text = list_->item(row)->data(Qt::UserRole).toString();
    status_->setText(SpeechChannel::asLine(text));
    speech_.repeat(text);
}

bool SpeechHistoryDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            sayCurrent();
            return true;  // ENTER reads; it does not close the list
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qv
