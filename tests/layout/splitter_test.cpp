#include "layout/splitter.h"
#include "core/twips.h"
#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

struct Fixture {
    WindowHarness h;
    Splitter* splitter = nullptr;
    Fixture() {
        if (!h.start()) qFatal("the window did not start");
        splitter = h.window().findChild<Splitter*>();
        if (!splitter) qFatal("no splitter");
    }
    // The text's bottom edge: the same after every drag.
    double text_bottom() const {
        return splitter->layout().text_top + splitter->layout().text_height;
    }
};

}  // namespace

TEST(Splitter, PressAndReleaseWithoutMovingLaysOutAtTheStrip) {
    Fixture f;
    EXPECT_EQ(f.h.parts().splitter->pane_total_height(), 8190);
    f.splitter->imgsplitter_MouseDown();
    EXPECT_TRUE(f.h.w().picsplitter->isVisible());
    EXPECT_TRUE(f.h.parts().splitter->splitter_moving());
    EXPECT_EQ(f.h.w().picsplitter->geometry(), f.h.w().imgsplitter->geometry());
    f.splitter->imgsplitter_MouseUp();

    const PaneLayout& l = f.splitter->layout();
    EXPECT_EQ(l.list_height, 4680);
    EXPECT_EQ(l.strip_top, 6360);
    EXPECT_EQ(l.text_top, 6495);
    EXPECT_EQ(l.text_height, 3510);
    EXPECT_EQ(f.text_bottom(), 10005);
    EXPECT_FALSE(f.h.w().picsplitter->isVisible());
    EXPECT_FALSE(f.h.parts().splitter->splitter_moving());
    EXPECT_EQ(f.h.w().MSFlexGrid1->height(), twips(4680));
    EXPECT_EQ(f.h.w().bodytext->y(), twips(6495));
}

TEST(Splitter, DraggingUpAThousandTwipsGrowsTheText) {
    Fixture f;
    const QRect strip_before = f.h.w().imgsplitter->geometry();
    f.splitter->imgsplitter_MouseDown();
    f.splitter->imgsplitter_MouseMove(-1000);
    // While dragging only the bar moves.
    EXPECT_EQ(f.splitter->bar_top(), 5360);
    EXPECT_EQ(f.h.w().picsplitter->y(), twips(5360));
    EXPECT_EQ(f.h.w().imgsplitter->geometry(), strip_before);
    EXPECT_EQ(f.splitter->layout().list_height, 4695);
    f.splitter->imgsplitter_MouseUp();

    const PaneLayout& l = f.splitter->layout();
    EXPECT_EQ(l.list_height, 3680);
    EXPECT_EQ(l.text_top, 5495);
    EXPECT_EQ(l.text_height, 4510);
    EXPECT_EQ(f.text_bottom(), 10005);
    EXPECT_EQ(f.h.w().imgsplitter->y(), twips(5360));
    EXPECT_EQ(f.h.w().MSFlexGrid1->x(), twips(3120));  // lefts and widths stay
    EXPECT_EQ(f.h.w().bodytext->width(), twips(9495));
}

TEST(Splitter, MovesWithoutAPressMoveNothing) {
    Fixture f;
    f.splitter->imgsplitter_MouseMove(-1000);
    f.splitter->imgsplitter_MouseUp();
    EXPECT_EQ(f.splitter->layout().list_height, 4695);
    EXPECT_EQ(f.splitter->bar_top(), 6360);
    EXPECT_FALSE(f.h.w().picsplitter->isVisible());
}

TEST(Splitter, BothPanesKeepALineInView) {
    Fixture f;
    f.splitter->imgsplitter_MouseDown();
    f.splitter->imgsplitter_MouseMove(-20000);  // far above the list's top
    f.splitter->imgsplitter_MouseUp();
    const double min_list = f.splitter->min_strip_top() - 1680;
    EXPECT_GT(min_list, 0);
    EXPECT_EQ(f.splitter->layout().list_height, min_list);
    EXPECT_GE(f.h.w().MSFlexGrid1->height(), 2 * f.h.w().MSFlexGrid1->rowHeight(0));
    EXPECT_EQ(f.text_bottom(), 10005);

    f.splitter->SizeControls(50000);  // far below the text's bottom
    const PaneLayout& l = f.splitter->layout();
    EXPECT_GT(l.text_height, 0);
    EXPECT_GE(f.h.w().bodytext->height(), f.h.w().bodytext->fontMetrics().lineSpacing());
    EXPECT_EQ(l.list_height + l.text_height, 8190);
    EXPECT_EQ(f.text_bottom(), 10005);
}

TEST(Splitter, TheMouseDragsTheStrip) {
    Fixture f;
    QLabel* strip = f.h.w().imgsplitter;
    const QPoint grab(strip->width() / 2, strip->height() / 2);
    QTest::mousePress(strip, Qt::LeftButton, {}, grab);
    EXPECT_TRUE(f.h.w().picsplitter->isVisible());
    QTest::mouseMove(strip, grab - QPoint(0, 60));
    EXPECT_LT(f.h.w().picsplitter->y(), strip->y());
    QTest::mouseRelease(strip, Qt::LeftButton, {}, grab - QPoint(0, 60));
    EXPECT_FALSE(f.h.w().picsplitter->isVisible());
    // 60 pixels up from where the strip was grabbed, within a pixel's rounding.
    EXPECT_NEAR(f.splitter->layout().strip_top, 6360 + pixels_to_twips(grab.y() - 60), 16);
    EXPECT_NEAR(f.h.w().MSFlexGrid1->height(), twips(4695) - 60 + grab.y(), 2);
    EXPECT_EQ(f.text_bottom(), 10005);
}
