#include "layout/splitter.h"
#include "core/twips.h"
#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QLabel>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace qv;

TEST(Splitter, APressedStripShowsABarThatFollowsAndOnReleaseTheListAndTextShareTheHeight) {
    test::WindowHarness h;
    ASSERT_TRUE(h.start());
    Splitter& s = *h.parts().splitter;
    Widgets& w = h.w();
    const auto panes = [&] {
        const PaneLayout& l = s.layout();
        EXPECT_EQ(l.text_top + l.text_height, 10005);
        return std::tuple(l.list_height, l.strip_top, l.text_top, l.text_height);
    };
    s.imgsplitter_MouseMove(-1000), s.imgsplitter_MouseUp();  // without a press: nothing
    EXPECT_EQ(std::pair(s.layout().list_height, s.bar_top()), std::pair(4695.0, 6360.0));
    s.imgsplitter_MouseDown();
    EXPECT_TRUE(s.splitter_moving() && w.picsplitter->isVisible() &&
                w.picsplitter->geometry() == w.imgsplitter->geometry());
    EXPECT_EQ((s.imgsplitter_MouseUp(), panes()), std::tuple(4680, 6360, 6495, 3510));
    EXPECT_EQ(std::tuple(w.MSFlexGrid1->height(), w.bodytext->y(), s.splitter_moving()),
              std::tuple(twips(4680), twips(6495), false));

    const QRect strip = w.imgsplitter->geometry();
    s.imgsplitter_MouseDown(), s.imgsplitter_MouseMove(-1000);  // while dragging only the bar moves
    EXPECT_TRUE(s.bar_top() == 5360 && w.picsplitter->y() == twips(5360) &&
                w.imgsplitter->geometry() == strip && s.layout().list_height == 4680);
    EXPECT_EQ((s.imgsplitter_MouseUp(), panes()), std::tuple(3680, 5360, 5495, 4510));
    EXPECT_EQ(std::tuple(w.imgsplitter->y(), w.MSFlexGrid1->x(), w.bodytext->width()),
              std::tuple(twips(5360), twips(3120), twips(9495)));  // lefts and widths stay

    s.imgsplitter_MouseDown(), s.imgsplitter_MouseMove(-20000), s.imgsplitter_MouseUp();  // too far
    EXPECT_EQ(std::get<0>(panes()), s.min_strip_top() - 1680);
    EXPECT_GE(w.MSFlexGrid1->height(), 2 * w.MSFlexGrid1->rowHeight(0));
    s.SizeControls(50000);
    EXPECT_EQ(std::get<0>(panes()) + std::get<3>(panes()), 8190);
    EXPECT_GE(w.bodytext->height(), w.bodytext->fontMetrics().lineSpacing());

    const double top = s.layout().strip_top;
    const QPoint grab(w.imgsplitter->width() / 2, 4), to = grab - QPoint(0, 60);  // by mouse
    QTest::mousePress(w.imgsplitter, Qt::LeftButton, {}, grab);
    QTest::mouseMove(w.imgsplitter, to);
    EXPECT_TRUE(w.picsplitter->isVisible() && w.picsplitter->y() < w.imgsplitter->y());
    QTest::mouseRelease(w.imgsplitter, Qt::LeftButton, {}, to);
    EXPECT_FALSE(w.picsplitter->isVisible());
    EXPECT_NEAR(std::get<1>(panes()), top + pixels_to_twips(to.y()), 16);  // a pixel's rounding
}
