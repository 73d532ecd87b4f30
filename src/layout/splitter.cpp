#include "layout/splitter.h"

#include "core/twips.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QTableView>
#include <QTextEdit>

#include <algorithm>

namespace qv {

Splitter::Splitter(SplitterControls controls, QObject* parent)
    : QObject(parent), w_(controls), bar_top_(layout_.strip_top) {
    w_.imgsplitter->installEventFilter(this);
}

double Splitter::min_strip_top() const {
    // The header row and one mail stay in view.
    const QTableView* grid = w_.MSFlexGrid1;
    int pixels = 2 * grid->verticalHeader()->defaultSectionSize() + 2 * grid->frameWidth();
    if (grid->horizontalHeader()->isVisible()) pixels += grid->horizontalHeader()->height();
    return layout_.list_top + pixels_to_twips(pixels);
}

double Splitter::max_strip_top() const {
    // One line of the mail text stays in view.
    const QTextEdit* text = w_.bodytext;
    const int pixels = text->fontMetrics().lineSpacing() + 2 * text->frameWidth() +
                       2 * int(text->document()->documentMargin());
    const double lowest = layout_.list_top + pane_total_height_ - pixels_to_twips(pixels);
    return std::max(lowest, min_strip_top());
}

void Splitter::SizeControls(double y) {
    y = std::clamp(y, min_strip_top(), max_strip_top());
    layout_.list_height = y - layout_.list_top;
    layout_.text_height = pane_total_height_ - layout_.list_height;
    layout_.strip_top = y;
    layout_.text_top = y + layout_.strip_height;
    apply();
}

void Splitter::apply() {
    auto set_rows = [](QWidget* widget, double top, double height) {
        const QRect r = widget->geometry();
        widget->setGeometry(r.x(), twips(top), r.width(), twips(height));
    };
    set_rows(w_.MSFlexGrid1, layout_.list_top, layout_.list_height);
    set_rows(w_.imgsplitter, layout_.strip_top, layout_.strip_height);
    set_rows(w_.bodytext, layout_.text_top, layout_.text_height);
}

void Splitter::imgsplitter_MouseDown() {
    bar_top_ = layout_.strip_top;
    w_.picsplitter->setGeometry(w_.imgsplitter->geometry());
    w_.picsplitter->raise();
    w_.picsplitter->show();
    splitter_moving_ = true;
}

void Splitter::imgsplitter_MouseMove(double y) {
    if (!splitter_moving_) return;
    bar_top_ = std::clamp(layout_.strip_top + y, min_strip_top(), max_strip_top());
    w_.picsplitter->move(w_.picsplitter->x(), twips(bar_top_));
}

void Splitter::imgsplitter_MouseUp() {
    if (!splitter_moving_) return;
    SizeControls(bar_top_);
    w_.picsplitter->hide();
    splitter_moving_ = false;
}

bool Splitter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_.imgsplitter) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                imgsplitter_MouseDown();
                return true;
            case QEvent::MouseMove:
                imgsplitter_MouseMove(
                    pixels_to_twips(static_cast<QMouseEvent*>(event)->position().y()));
                return true;
            case QEvent::MouseButtonRelease:
                imgsplitter_MouseUp();
                return true;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qv
