#include "folders/list_choice.h"

#include "core/feedback.h"

#include <QItemSelectionModel>
#include <QListWidget>
#include <QTimer>

namespace qv {

namespace {

// The handler's key codes for keys without a code of their own (see key_code()).
constexpr int code_of(Qt::Key key) { return 256 + (key & 0xffff); }

int selected_row(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->row(item) : -1;
}

}  // namespace

QString selected_item_text(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected()) return QString();
    const QString text = item->text();
    return text.isNull() ? QStringLiteral("") : text;
}

void arrow_starts_at_first_item(QListWidget* list, int code) {
    if (code != code_of(Qt::Key_Up) && code != code_of(Qt::Key_Down)) return;
    if (!selected_item_text(list).isNull()) return;
    list->selectionModel()->clearCurrentIndex();
}

void speak_after_move(QListWidget* list, Feedback& out, int code,
                      std::function<QString(const QListWidgetItem*)> item, QString empty) {
    bool forward = false;
    switch (code) {
        case code_of(Qt::Key_Down):
        case code_of(Qt::Key_End):
        case code_of(Qt::Key_PageDown):
            forward = true;
            break;
        case code_of(Qt::Key_Up):
        case code_of(Qt::Key_Home):
        case code_of(Qt::Key_PageUp):
            break;
        default:
            return;
    }
    // The key handler runs before the list moves; what it landed on is known once the key has
    // been handled.
    const int before = selected_row(list);
    QTimer::singleShot(
        0, list, [list, &out, forward, before, item = std::move(item), empty = std::move(empty)] {
            const int now = selected_row(list);
            if (list->count() == 0) {
                out.speak_move(empty);
            } else if (now < 0 || now == before) {
                out.speak_move(forward ? QStringLiteral("最後です") : QStringLiteral("先頭です"));
            } else {
                out.speak_move(item(list->item(now)));
            }
        });
}

}  // namespace qv
