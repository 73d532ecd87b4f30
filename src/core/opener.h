#pragma once

#include <QString>

namespace qv {

// Opens a document with the program the desktop has for it (a browser, a music player).
class DesktopOpener {
  public:
    virtual ~DesktopOpener() = default;
    virtual bool open(const QString& path) = 0;
};

class QtDesktopOpener : public DesktopOpener {
  public:
    bool open(const QString& path) override;
};

// Plays a sound file inside the program. Received audio goes here, never to another program: a
// file from a stranger is heard, not opened.
class AudioPlayer {
  public:
    virtual ~AudioPlayer() = default;
    virtual bool play(const QString& path) = 0;
};

}  // namespace qv
