#include "core/widgets.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace qv {

int twips(double value) {
    double dpi = 96.0;
    if (auto* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInch();
    return int(std::lround(value * dpi / 1440.0));
}

}  // namespace qv
