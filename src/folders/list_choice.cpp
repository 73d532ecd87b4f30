#include "folders/list_choice.h"

#include <QItemSelectionModel>
#include <QListWidget>

namespace qv {

namespace {

// The handler's key codes for the arrow keys (see key_code()).
constexpr int kArrowUp = 256 + (Qt::Key_Up & 0xffff);
constexpr int kArrowDown = 256 + (Qt::Key_Down & 0xffff);

}  // namespace

QString selected_item_text(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected()) return QString();
    const QString text = item->text();
    return text.isNull() ? QStringLiteral("") : text;
}

void arrow_starts_at_first_item(QListWidget* list, int code) {
    if (code != kArrowUp && code != kArrowDown) return;
    if (!selected_item_text(list).isNull()) return;
    list->selectionModel()->clearCurrentIndex();
}

}  // namespace qv
