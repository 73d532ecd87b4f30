#pragma once

#include <QString>

class QListWidget;

namespace qv {

// The text of the list's selected item; a null text when no item is selected.
QString selected_item_text(const QListWidget* list);

// With nothing selected, the first arrow key selects the first item (not the one after an item
// that merely has the focus frame). Call it from the key handler, before the list moves.
void arrow_starts_at_first_item(QListWidget* list, int code);

}  // namespace qv
