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

}  // namespace qv
