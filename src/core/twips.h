#pragma once

class QWidget;

namespace qv {

// Twips (1/1440 inch) to pixels on the screen in use (15 twips a pixel at 96 dpi).
int twips(double value);
// Pixels of the screen in use to twips, the inverse of twips().
double pixels_to_twips(double pixels);
// Places a control at left, top, width x height twips of its parent's client area.
void place(QWidget* control, double left, double top, double width, double height);

}  // namespace qv
