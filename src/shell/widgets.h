#pragma once

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QPlainTextEdit;
class QTextEdit;
class QTimer;

namespace qv {

class FlexGrid;

// The main window's controls, under their own names. Owned by the window; subsystems get the
// ones they work on.
struct Widgets {
    QMainWindow* Form1 = nullptr;
    FlexGrid* MSFlexGrid1 = nullptr;
    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;
    QLineEdit* mailto = nullptr;
    QLineEdit* subject = nullptr;
    QPlainTextEdit* body = nullptr;
    QTextEdit* bodytext = nullptr;
    QLabel* cmd_message = nullptr;
    QLabel* shortcut01 = nullptr;
    QLabel* shortcut02 = nullptr;
    QLabel* shortcut03 = nullptr;  // the voice's own keys: stop, repeat, history
    QLabel* mic = nullptr;
    QLabel* imgsplitter = nullptr;
    QFrame* picsplitter = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace qv
