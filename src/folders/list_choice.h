#pragma once

#include <QString>

#include <functional>

class QListWidget;
class QListWidgetItem;

namespace qv {

class Feedback;

// The text of the list's selected item; a null text when no item is selected.
QString selected_item_text(const QListWidget* list);

// With nothing selected, the first arrow key selects the first item (not the one after an item
// that merely has the focus frame). Call it from the key handler, before the list moves.
void arrow_starts_at_first_item(QListWidget* list, int code);

// For a key that moves through the list (Up, Down, Home, End, PgUp, PgDn), once the list has
// moved: says what the move landed on (`item`), or "先頭です" / "最後です" when it met the
// first or last item, or `empty` when the list has no item. Call it from the key handler.
void speak_after_move(QListWidget* list, Feedback& out, int code,
                      std::function<QString(const QListWidgetItem*)> item, QString empty);

}  // namespace qv
