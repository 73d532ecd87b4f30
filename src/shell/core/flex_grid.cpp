#include "shell/core/flex_grid.h"

#include <QHeaderView>

namespace qv {

FlexGrid::FlexGrid(QWidget* parent) : QTableWidget(parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

QTableWidgetItem* FlexGrid::itemAt(int row, int column) {
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
    }
    return cell;
}

void FlexGrid::setCellText(int row, int column, const QString& text) {
    itemAt(row, column)->setText(text);
}

QString FlexGrid::cellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void FlexGrid::setCellEmphasis(int row, int column, bool on) {
    QTableWidgetItem* cell = itemAt(row, column);
    QFont f = cell->font();
    f.setBold(on);
    cell->setFont(f);
}

bool FlexGrid::cellEmphasis(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell && cell->font().bold();
}

void FlexGrid::clearCells() { clearContents(); }

void FlexGrid::styleFixedCells() {
    const QBrush header = palette().button();
    for (int c = 0; c < columnCount(); ++c) itemAt(0, c)->setBackground(header);
    for (int r = 1; r < rowCount(); ++r) itemAt(r, 0)->setBackground(header);
}

QModelIndex FlexGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    QModelIndex next = QTableWidget::moveCursor(action, modifiers);
    if (!next.isValid()) return next;
    int row = qMax(next.row(), rowCount() > 1 ? 1 : 0);
    int column = qMax(next.column(), columnCount() > 1 ? 1 : 0);
    return model()->index(row, column);
}

}  // namespace qv
