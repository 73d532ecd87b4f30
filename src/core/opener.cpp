#include "core/opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace qv {

bool QtDesktopOpener::open(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace qv
