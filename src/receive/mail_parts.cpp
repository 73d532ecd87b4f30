#include "receive/mail_parts.h"

namespace qv {

bool is_saved_mail_name(const QString& name) {
    // Attachments live in folders of their own, the component's files are hidden, and the
    // component names every saved mail "<date>-<time>-<sequence>.eml".
    return name.endsWith(QLatin1String(".eml")) && !name.startsWith(QLatin1Char('.')) &&
           !name.contains(QLatin1Char('/'));
}

}  // namespace qv
