#include "speech/speech_history_dialog.h"

#include "speech/speech_channel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace qv {

SpeechHistoryDialog::SpeechHistoryDialog(SpeechChannel& speech, const QStringList& newestFirst,
                                         QWidget* parent)
    : QDialog(parent), speech_(speech) {
    setObjectName(QStringLiteral("SpeechHistory"));
    setWindowTitle(caption());
    auto* guideLabel = new QLabel(guide(), this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("speech_history"));
    for (const QString& text : newestFirst) {
        // One line each in the list; the entry itself keeps its line breaks.
        auto* item = new QListWidgetItem(SpeechChannel::asLine(text), list_);
        item->setData(Qt::UserRole, text);
    }
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("speech_history_status"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(guideLabel);
    column->addWidget(list_);
    column->addWidget(status_);
    resize(640, 420);
    if (list_->count() > 0) list_->setCurrentRow(0);
    list_->installEventFilter(this);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (greeted_) sayPosition(row);
    });
    list_->setFocus();
}

void SpeechHistoryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (greeted_) return;
    greeted_ = true;
    if (list_->count() == 0) {
        say(QStringLiteral("読み上げ履歴はありません。ESCキーで閉じます"));
        return;
    }
    say(QStringLiteral("読み上げ履歴 %1件。新しい順です。上下の矢印キーで選び、ENTERキーで読み上げ"
                       "ます。ESCキーで閉じます")
            .arg(list_->count()));
    // After the greeting, not instead of it.
    sayPosition(list_->currentRow(), false);
}

void SpeechHistoryDialog::say(const QString& text) {
    status_->setText(text);
    speech_.repeat(text);
}

void SpeechHistoryDialog::sayPosition(int row, bool interrupt) {
    if (row < 0 || row >= list_->count()) return;
    const QString text = list_->item(row)->data(Qt::UserRole).toString();
    QString preview = text.left(kPreviewLength);
    if (text.size() > kPreviewLength) preview += QStringLiteral("…");
    // Moving on makes the previous entry uninteresting: only the newest position is said.
    if (interrupt) speech_.silence();
    say(QStringLiteral("%1件目 %2").arg(row + 1).arg(preview));
}

void SpeechHistoryDialog::sayCurrent() {
    const int row = list_->currentRow();
    if (row < 0) {
        say(QStringLiteral("読み上げ履歴はありません"));
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
