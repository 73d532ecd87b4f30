#include "layout/splitter.h"
#include "shell/main_window.h"

namespace qv {

void MainWindow::wire_layout() { new Splitter(state_, w_, this); }

}  // namespace qv
