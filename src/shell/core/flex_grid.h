#pragma once

#include <QTableWidget>

namespace qv {

// The mail list's grid: row 0 is the header row and column 0 the id column, both drawn as fixed
// cells; the user's arrow keys never make a fixed cell current, while the program may. Each cell
// can carry the unread emphasis (bold).
class FlexGrid : public QTableWidget {
    Q_OBJECT
  public:
    explicit FlexGrid(QWidget* parent = nullptr);

    void setCellText(int row, int column, const QString& text);
    QString cellText(int row, int column) const;
    void setCellEmphasis(int row, int column, bool on);
    bool cellEmphasis(int row, int column) const;
    // Removes every text and cell attribute, keeping the row and column counts.
    void clearCells();
    // Draws row 0 and column 0 in the header style.
    void styleFixedCells();

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

  private:
    QTableWidgetItem* itemAt(int row, int column);
};

}  // namespace qv
