#include "core/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace qv {

namespace {

double dots_per_inch() {
    if (auto* screen = QGuiApplication::primaryScreen()) return screen->logicalDotsPerInch();
    return 96.0;
}

}  // namespace

int twips(double value) { return int(std::lround(value * dots_per_inch() / 1440.0)); }

double pixels_to_twips(double pixels) { return pixels * 1440.0 / twips(1440); }

void place(QWidget* control, double left, double top, double width, double height) {
    control->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace qv
