#include "shell/main_window.h"

namespace qv {

void MainWindow::wire_settings() {}

}  // namespace qv
