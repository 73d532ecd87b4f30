#pragma once

#include <QObject>

class QEvent;
class QFrame;
class QLabel;
class QTableView;
class QTextEdit;

namespace qv {

// The controls the splitter moves: the mail list above, the mail text below, the strip between
// them and the bar that follows the mouse while the strip is dragged.
struct SplitterControls {
    QTableView* MSFlexGrid1;
    QTextEdit* bodytext;
    QLabel* imgsplitter;
    QFrame* picsplitter;
};

// Where the mail list, the splitter strip and the mail text lie, in twips of the window's client
// area. Lefts and widths never change.
struct PaneLayout {
    double list_top = 1680;
    double list_height = 4695;
    double strip_top = 6360;
    double strip_height = 135;
    double text_top = 6480;
    double text_height = 3495;
};

// The strip between the mail list and the mail text: pressed, it shows a bar that follows the
// mouse up and down; released, the list and the text share their height anew at the bar.
class Splitter : public QObject {
    Q_OBJECT
  public:
    Splitter(SplitterControls controls, QObject* parent);

    // The height that the mail list and the mail text share (twips).
    void set_pane_total_height(double twips) { pane_total_height_ = twips; }
    double pane_total_height() const { return pane_total_height_; }
    bool splitter_moving() const { return splitter_moving_; }

    // Lays the list, the strip and the text out with the strip's top at y (twips). y is held to
    // where both panes keep at least one line in view.
    void SizeControls(double y);

    // The mouse on the strip; y is the pointer's distance from the strip's top, in twips.
    void imgsplitter_MouseDown();
    void imgsplitter_MouseMove(double y);
    void imgsplitter_MouseUp();

    const PaneLayout& layout() const { return layout_; }
    double bar_top() const { return bar_top_; }
    // The highest and lowest tops the strip may take.
    double min_strip_top() const;
    double max_strip_top() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void apply();

    SplitterControls w_;
    PaneLayout layout_;
    double pane_total_height_ = 3495 + 4695;
    bool splitter_moving_ = false;
    double bar_top_ = 0;
};

}  // namespace qv
