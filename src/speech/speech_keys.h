#pragma once

#include <QObject>

#include <functional>

namespace qv {

// Watches every key of the application, in every window and dialog, for the screen readers'
// stop gesture: Ctrl pressed and released with no other key (and no click) in between. Ctrl
// together with a letter is a shortcut and never stops anything. Keys are only watched, never
// taken away from the controls.
class SpeechStopKey : public QObject {
  public:
    // stop is called once per gesture, on the GUI thread, when Ctrl is released.
    explicit SpeechStopKey(std::function<void()> stop, QObject* parent = nullptr);
    ~SpeechStopKey() override;

    // Starts watching the whole application (done by the constructor when an application
    // exists).
    void install();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void()> stop_;
    bool armed_ = false;
};

}  // namespace qv
