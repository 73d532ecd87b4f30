#include "shell/main_window.h"

namespace qv {

void MainWindow::wire_compose() {}

}  // namespace qv
