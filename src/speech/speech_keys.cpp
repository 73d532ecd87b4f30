#include "speech/speech_keys.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

namespace qv {

SpeechStopKey::SpeechStopKey(std::function<void()> stop, QObject* parent)
    : QObject(parent), stop_(std::move(stop)) {
    install();
}

SpeechStopKey::~SpeechStopKey() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void SpeechStopKey::install() {
    if (auto* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        app->installEventFilter(this);
    }
}

bool SpeechStopKey::eventFilter(QObject*, QEvent* event) {
    // An event passed on from a control to its parents comes by here once per step; every
    // decision below gives the same answer the second time.
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Control) {
                // Held down, Ctrl repeats; that is still the same press.
                if (!key->isAutoRepeat()) armed_ = true;
            } else {
                armed_ = false;
            }
            break;
        }
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Control || key->isAutoRepeat()) break;
            if (armed_) {
                armed_ = false;
                if (stop_) stop_();
            }
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            armed_ = false;
            break;
        default:
            break;
    }
    return false;
}

}  // namespace qv
