#include "layout/splitter.h"
#include "mailbox/flex_grid.h"
#include "shell/main_window.h"

namespace qv {

void MainWindow::wire_layout() {
    parts_.splitter =
        new Splitter({w_.MSFlexGrid1, w_.bodytext, w_.imgsplitter, w_.picsplitter}, this);
}

}  // namespace qv
