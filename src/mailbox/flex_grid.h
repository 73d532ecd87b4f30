#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QTableView>

#include <vector>

namespace qv {

// The cells of the mail list, kept flat (row by row) so that a folder of a hundred thousand
// mails costs one text per cell and a few bytes of attributes, with no object per cell.
class FlexGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit FlexGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setRows(int rows);
    void setColumns(int columns);
    void removeRowAt(int row);

    // The text a cell holds, and the text it shows: the key column shows the row's key, and the
    // marked column of a marked row shows the mark before its text.
    const QString& text(int row, int column) const;
    QString shownText(int row, int column) const;
    void setText(int row, int column, QString text);

    // Each row may carry a key (a mail's id, say) that the key column shows; 0 for none.
    int key(int row) const { return row >= 0 && row < rows_ ? keys_[std::size_t(row)] : 0; }
    void setKey(int row, int key);
    void setKeyColumn(int column) { key_column_ = column; }
    // A marked row shows `mark` in front of the text of `column`.
    bool marked(int row) const { return row >= 0 && row < rows_ && marks_[std::size_t(row)]; }
    void setMarked(int row, bool on);
    void setMark(int column, QString mark) {
        mark_column_ = column;
        mark_ = std::move(mark);
    }
    bool emphasis(int row, int column) const;
    void setEmphasis(int row, int column, bool on);
    // An invalid colour: the cell shows the grid's own background.
    QColor background(int row, int column) const;
    void setBackground(int row, int column, const QColor& color);
    void clearCells();

    // While held, cell changes are not announced to the view one by one; the last release
    // announces them all at once.
    void holdUpdates();
    void releaseUpdates();

    void setHeaderBrush(const QColor& color) { header_ = color; }
    void setBaseFont(const QFont& font);

  private:
    struct Attr {
        QRgb background = 0;
        bool hasBackground = false;
        bool emphasis = false;
    };
    bool valid(int row, int column) const {
        return row >= 0 && row < rows_ && column >= 0 && column < columns_;
    }
    std::size_t at(int row, int column) const { return std::size_t(row) * columns_ + column; }
    void changed(int row, int column);

    int rows_ = 0;
    int columns_ = 0;
    std::vector<QString> texts_;
    std::vector<Attr> attrs_;
    std::vector<int> keys_;
    std::vector<bool> marks_;
    int key_column_ = -1;
    int mark_column_ = -1;
    QString mark_;
    int held_ = 0;
    QColor header_;
    QFont bold_;
};

// The mail list's grid: row 0 is the header row and column 0 the id column, both drawn as fixed
// cells; the user's arrow keys never make a fixed cell current, while the program may. Each cell
// can carry the unread emphasis (bold) and a background of its own.
class FlexGrid : public QTableView {
    Q_OBJECT
  public:
    explicit FlexGrid(QWidget* parent = nullptr);

    int rowCount() const { return model_->rowCount(); }
    void setRowCount(int rows) { model_->setRows(rows); }
    int columnCount() const { return model_->columnCount(); }
    void setColumnCount(int columns) { model_->setColumns(columns); }
    // Removes a row; the rows below move up one.
    void removeRow(int row) { model_->removeRowAt(row); }

    void setCellText(int row, int column, const QString& text);
    // The text as the cell shows it (see FlexGridModel::shownText).
    QString cellText(int row, int column) const;
    int rowKey(int row) const { return model_->key(row); }
    void setCellEmphasis(int row, int column, bool on);
    bool cellEmphasis(int row, int column) const;
    void setCellBackground(int row, int column, const QColor& color);
    QColor cellBackground(int row, int column) const;
    // Removes every text and cell attribute, keeping the row and column counts.
    void clearCells();

    // -1 when no cell is current.
    int currentRow() const;
    int currentColumn() const;
    void setCurrentCell(int row, int column);

    // Filling many cells: hold the updates while writing, then release them once.
    void holdUpdates() { model_->holdUpdates(); }
    void releaseUpdates() { model_->releaseUpdates(); }

    FlexGridModel* cells() const { return model_; }

  signals:
    // The cell left and the cell entered (previous -1 when there was none).
    void currentCellChanged(int currentRow, int currentColumn, int previousRow, int previousColumn);
    // The user's key moved along the rows (Up, Down, Home, End, PgUp, PgDn) or along the columns
    // (Left, Right), toward the end when `forward`. A move that met the edge leaves the current
    // cell where it was: then `row == previousRow` (or `column == previousColumn`).
    void rowStepped(int row, int previousRow, bool forward);
    void columnStepped(int column, int previousColumn, bool forward);

  protected:
    // Home and End go to the first and last row, as in any list; the column stays.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  public:
    // Typing a letter or a blank must not jump to a cell that starts with it: keys act on the
    // current mail and the current cell stays where the arrows put it.
    void keyboardSearch(const QString&) override {}

  private:
    FlexGridModel* model_;
};

}  // namespace qv
