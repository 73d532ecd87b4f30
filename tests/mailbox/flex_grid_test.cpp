#include "mailbox/flex_grid.h"
#include "support/printers.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

TEST(FlexGrid, CellsKeepTextEmphasisAndBackgroundThroughRowRemoval) {
    FlexGrid g;
    g.setColumnCount(3);
    g.setRowCount(4);
    for (int r = 0; r < 4; ++r) g.setCellText(r, 1, QStringLiteral("r%1").arg(r));
    g.setCellEmphasis(2, 0, true);
    g.setCellBackground(3, 2, QColor(1, 2, 3));
    g.removeRow(1);
    EXPECT_EQ(g.rowCount(), 3);
    EXPECT_EQ(g.cellText(1, 1), QStringLiteral("r2"));
    EXPECT_TRUE(g.cellEmphasis(1, 0));
    EXPECT_FALSE(g.cellEmphasis(2, 0));
    EXPECT_EQ(g.cellBackground(2, 2), QColor(1, 2, 3));
    // Outside the grid there is nothing, and writing there is ignored.
    g.setCellText(9, 9, QStringLiteral("x"));
    EXPECT_TRUE(g.cellText(9, 9).isEmpty());
    EXPECT_TRUE(g.cellText(-1, 0).isEmpty());

    g.setColumnCount(4);
    EXPECT_EQ(g.cellText(2, 1), QStringLiteral("r3"));
    EXPECT_TRUE(g.cellText(2, 3).isEmpty());
    g.clearCells();
    EXPECT_EQ(g.rowCount(), 3);
    EXPECT_TRUE(g.cellText(1, 1).isEmpty());
    EXPECT_FALSE(g.cellEmphasis(1, 0));
    EXPECT_FALSE(g.cellBackground(2, 2).isValid());
}

TEST(FlexGrid, BoldShowsTheEmphasisAndFixedCellsKeepTheHeaderLook) {
    FlexGrid g;
    g.setColumnCount(2);
    g.setRowCount(2);
    g.setCellEmphasis(1, 1, true);
    g.setCellBackground(1, 0, QColor(255, 255, 0));
    EXPECT_TRUE(g.model()->index(1, 1).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(g.model()->index(1, 0).data(Qt::FontRole).isValid());
    EXPECT_NE(g.model()->index(1, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 0));
}

TEST(FlexGrid, HeldUpdatesAreAnnouncedOnceAndTheCurrentCellIsReported) {
    FlexGrid g;
    g.setColumnCount(4);
    g.setRowCount(1000);
    QSignalSpy changed(g.model(), &QAbstractItemModel::dataChanged);
    g.holdUpdates();
    for (int r = 0; r < 1000; ++r) g.setCellText(r, 2, QString::number(r));
    EXPECT_EQ(changed.count(), 0);
    g.releaseUpdates();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(g.cellText(999, 2), QStringLiteral("999"));

    QSignalSpy moved(&g, &FlexGrid::currentCellChanged);
    g.setCurrentCell(5, 2);
    g.setCurrentCell(6, 1);
    ASSERT_EQ(moved.count(), 2);
    EXPECT_EQ(moved.at(1), (QList<QVariant>{6, 1, 5, 2}));
    EXPECT_EQ(g.currentRow(), 6);
    EXPECT_EQ(g.currentColumn(), 1);
    g.setCurrentCell(5000, 1);  // no such row: nothing changes
    EXPECT_EQ(g.currentRow(), 6);
}
