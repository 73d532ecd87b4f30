#include "mailbox/flex_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

namespace qv {

namespace {

const QString& empty_text() {
    static const QString empty;
    return empty;
}

}  // namespace

FlexGridModel::FlexGridModel(QObject* parent) : QAbstractTableModel(parent) {}

int FlexGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int FlexGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant FlexGridModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    const int column = index.column();
    if (!valid(row, column)) return {};
    const Attr& a = attrs_[at(row, column)];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return shownText(row, column);
        case Qt::FontRole:
            if (a.emphasis) return bold_;
            return {};
        case Qt::BackgroundRole:
            // Fixed cells keep the header look whatever happens to the cells around them.
            if (row == 0 || column == 0) return header_.isValid() ? QVariant(header_) : QVariant();
            if (a.hasBackground) return QColor::fromRgb(a.background);
            return {};
        case Qt::ForegroundRole:
            // Whatever the background, the text stays dark enough to read.
            if (a.hasBackground && row != 0 && column != 0) return QColor(Qt::black);
            return {};
        default:
            return {};
    }
}

Qt::ItemFlags FlexGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FlexGridModel::setRows(int rows) {
    rows = qMax(0, rows);
    if (rows == rows_) return;
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        texts_.resize(std::size_t(rows) * columns_);
        attrs_.resize(std::size_t(rows) * columns_);
        keys_.resize(std::size_t(rows));
        marks_.resize(std::size_t(rows));
        rows_ = rows;
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        texts_.resize(std::size_t(rows) * columns_);
        attrs_.resize(std::size_t(rows) * columns_);
        keys_.resize(std::size_t(rows));
        marks_.resize(std::size_t(rows));
        rows_ = rows;
        endRemoveRows();
    }
}

void FlexGridModel::setColumns(int columns) {
    columns = qMax(0, columns);
    if (columns == columns_) return;
    // Rare (the grid is laid out once): rebuild the flat storage keeping what fits.
    std::vector<QString> texts(std::size_t(rows_) * columns);
    std::vector<Attr> attrs(std::size_t(rows_) * columns);
    const int keep = qMin(columns, columns_);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < keep; ++c) {
            texts[std::size_t(r) * columns + c] = std::move(texts_[at(r, c)]);
            attrs[std::size_t(r) * columns + c] = attrs_[at(r, c)];
        }
    }
    beginResetModel();
    texts_ = std::move(texts);
    attrs_ = std::move(attrs);
    columns_ = columns;
    endResetModel();
}

void FlexGridModel::removeRowAt(int row) {
    if (row < 0 || row >= rows_) return;
    beginRemoveRows(QModelIndex(), row, row);
    const auto first = std::ptrdiff_t(at(row, 0));
    texts_.erase(texts_.begin() + first, texts_.begin() + first + columns_);
    attrs_.erase(attrs_.begin() + first, attrs_.begin() + first + columns_);
    keys_.erase(keys_.begin() + row);
    marks_.erase(marks_.begin() + row);
    --rows_;
    endRemoveRows();
}

const QString& FlexGridModel::text(int row, int column) const {
    return valid(row, column) ? texts_[at(row, column)] : empty_text();
}

QString FlexGridModel::shownText(int row, int column) const {
    if (!valid(row, column)) return QString();
    if (column == key_column_ && keys_[std::size_t(row)] != 0) {
        return QString::number(keys_[std::size_t(row)]);
    }
    if (column == mark_column_ && marks_[std::size_t(row)]) return mark_ + texts_[at(row, column)];
    return texts_[at(row, column)];
}

void FlexGridModel::setKey(int row, int key) {
    if (row < 0 || row >= rows_) return;
    keys_[std::size_t(row)] = key;
    if (key_column_ >= 0) changed(row, key_column_);
}

void FlexGridModel::setMarked(int row, bool on) {
    if (row < 0 || row >= rows_) return;
    marks_[std::size_t(row)] = on;
    if (mark_column_ >= 0) changed(row, mark_column_);
}

void FlexGridModel::setText(int row, int column, QString text) {
    if (!valid(row, column)) return;
    texts_[at(row, column)] = std::move(text);
    changed(row, column);
}

bool FlexGridModel::emphasis(int row, int column) const {
    return valid(row, column) && attrs_[at(row, column)].emphasis;
}

void FlexGridModel::setEmphasis(int row, int column, bool on) {
    if (!valid(row, column)) return;
    Attr& a = attrs_[at(row, column)];
    if (a.emphasis == on) return;
    a.emphasis = on;
    changed(row, column);
}

QColor FlexGridModel::background(int row, int column) const {
    if (!valid(row, column)) return {};
    const Attr& a = attrs_[at(row, column)];
    return a.hasBackground ? QColor::fromRgb(a.background) : QColor();
}

void FlexGridModel::setBackground(int row, int column, const QColor& color) {
    if (!valid(row, column)) return;
    Attr& a = attrs_[at(row, column)];
    a.hasBackground = color.isValid();
    a.background = color.isValid() ? color.rgb() : 0;
    changed(row, column);
}

void FlexGridModel::clearCells() {
    for (QString& t : texts_) t = QString();
    for (Attr& a : attrs_) a = Attr();
    std::fill(keys_.begin(), keys_.end(), 0);
    std::fill(marks_.begin(), marks_.end(), false);
    if (held_ == 0 && rows_ > 0 && columns_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    }
}

void FlexGridModel::holdUpdates() { ++held_; }

void FlexGridModel::releaseUpdates() {
    if (held_ == 0) return;
    if (--held_ == 0 && rows_ > 0 && columns_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    }
}

void FlexGridModel::setBaseFont(const QFont& font) {
    bold_ = font;
    bold_.setBold(true);
}

void FlexGridModel::changed(int row, int column) {
    if (held_ > 0) return;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

FlexGrid::FlexGrid(QWidget* parent) : QTableView(parent), model_(new FlexGridModel(this)) {
    setModel(model_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    model_->setHeaderBrush(palette().button().color());
    model_->setBaseFont(font());
}

void FlexGrid::setCellText(int row, int column, const QString& text) {
    model_->setText(row, column, text);
}

QString FlexGrid::cellText(int row, int column) const { return model_->shownText(row, column); }

void FlexGrid::setCellEmphasis(int row, int column, bool on) {
    model_->setEmphasis(row, column, on);
}

bool FlexGrid::cellEmphasis(int row, int column) const { return model_->emphasis(row, column); }

void FlexGrid::setCellBackground(int row, int column, const QColor& color) {
    model_->setBackground(row, column, color);
}

QColor FlexGrid::cellBackground(int row, int column) const {
    return model_->background(row, column);
}

void FlexGrid::clearCells() { model_->clearCells(); }

int FlexGrid::currentRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

int FlexGrid::currentColumn() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() : -1;
}

void FlexGrid::setCurrentCell(int row, int column) {
    const QModelIndex i = model_->index(row, column);
    if (!i.isValid()) return;
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
}

QModelIndex FlexGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (!next.isValid()) return next;
    int row = next.row();
    int column = next.column();
    if (action == MoveHome || action == MoveEnd) {
        row = action == MoveHome ? 0 : rowCount() - 1;
        column = qMax(currentColumn(), 0);
    }
    row = qMax(row, rowCount() > 1 ? 1 : 0);
    column = qMax(column, columnCount() > 1 ? 1 : 0);
    return model_->index(row, column);
}

void FlexGrid::keyPressEvent(QKeyEvent* event) {
    const int row = currentRow();
    const int column = currentColumn();
    QTableView::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_PageUp:
        case Qt::Key_Home:
            emit rowStepped(currentRow(), row, false);
            break;
        case Qt::Key_Down:
        case Qt::Key_PageDown:
        case Qt::Key_End:
            emit rowStepped(currentRow(), row, true);
            break;
        case Qt::Key_Left:
            emit columnStepped(currentColumn(), column, false);
            break;
        case Qt::Key_Right:
            emit columnStepped(currentColumn(), column, true);
            break;
        default:
            break;
    }
}

void FlexGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    emit currentCellChanged(
        current.isValid() ? current.row() : -1, current.isValid() ? current.column() : -1,
        previous.isValid() ? previous.row() : -1, previous.isValid() ? previous.column() : -1);
}

void FlexGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) model_->setBaseFont(font());
}

}  // namespace qv
