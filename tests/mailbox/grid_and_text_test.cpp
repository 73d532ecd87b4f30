#include "mailbox/flex_grid.h"
#include "mailbox/long_text.h"
#include "support/printers.h"

#include <QSignalSpy>
#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using namespace qv;

TEST(FlexGrid, CellsKeepTheirTextAndAttributesAndTheGridReportsItsChanges) {
    FlexGrid g;
    g.setColumnCount(3);
    g.setRowCount(4);
    for (int r = 0; r < 4; ++r) g.setCellText(r, 1, QStringLiteral("r%1").arg(r));
    g.setCellEmphasis(2, 1, true);
    g.setCellBackground(3, 2, QColor(1, 2, 3));
    g.removeRow(1);
    EXPECT_TRUE(g.cellEmphasis(1, 1) && !g.cellEmphasis(2, 1));
    EXPECT_EQ(g.cellBackground(2, 2), QColor(1, 2, 3));
    // Bold shows the emphasis; a cell with a background is drawn in black; fixed cells keep the
    // header look whatever is set on them.
    const auto data = [&](int r, int c, int role) { return g.model()->index(r, c).data(role); };
    EXPECT_TRUE(data(1, 1, Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(data(1, 2, Qt::FontRole).isValid());
    EXPECT_EQ(data(2, 2, Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    g.setCellBackground(1, 0, QColor(255, 255, 0));
    EXPECT_NE(data(1, 0, Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 0));
    // Outside the grid there is nothing, and writing there is ignored.
    g.setCellText(9, 9, "x");
    EXPECT_TRUE(g.cellText(9, 9).isEmpty() && g.cellText(-1, 0).isEmpty());
    g.setColumnCount(4);
    EXPECT_EQ(g.cellText(2, 1) + g.cellText(2, 3), "r3");
    g.clearCells();
    EXPECT_TRUE(g.rowCount() == 3 && g.cellText(1, 1).isEmpty() && !g.cellEmphasis(1, 1) &&
                !g.cellBackground(2, 2).isValid());
    // Held updates are announced once; the current cell is reported as it changes.
    g.setRowCount(1000);
    QSignalSpy changed(g.model(), &QAbstractItemModel::dataChanged);
    g.holdUpdates();
    for (int r = 0; r < 1000; ++r) g.setCellText(r, 2, QString::number(r));
    g.releaseUpdates();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(g.cellText(999, 2), "999");
    QSignalSpy moved(&g, &FlexGrid::currentCellChanged);
    g.setCurrentCell(5, 2);
    g.setCurrentCell(6, 1);
    g.setCurrentCell(5000, 1);  // no such row: nothing changes
    ASSERT_EQ(moved.count(), 2);
    EXPECT_EQ(moved.at(1), (QList<QVariant>{6, 1, 5, 2}));
}

TEST(SpeechPieces, CutAfterEveryHundredCharactersAsAListenerCountsThem) {
    EXPECT_TRUE(speech_pieces(QString()).isEmpty() && speech_pieces("abc", 0).isEmpty());
    EXPECT_EQ(speech_pieces("abcdefg", 3), (QStringList{"abc", "def", "g"}));
    // Windows of a long text are cut as the whole text's clusters (a character outside the basic
    // plane, a flag, CR LF, a skin tone, combining accents, a letter under 600 marks).
    QString text;
    const QString parts[] = {
        "かな", "e\u0301\u0302", "👨‍👩‍👧‍👦", "\r\n", "🇯🇵", "ｶﾞ", "한",
        "😀",    "👍🏽"};
    for (int i = 0; i < 3000; ++i) text += parts[(i * 4) % 9];
    text += "x" + QString(600, QChar(0x0301)) + "end";
    QStringList clusters, expected;
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype from = 0, next; (next = f.toNextBoundary()) > 0; from = next) {
        clusters << text.mid(from, next - from);
    }
    for (qsizetype i = 0; i < clusters.size(); i += 100) expected << clusters.mid(i, 100).join("");
    EXPECT_EQ(speech_pieces(text), expected);
}
