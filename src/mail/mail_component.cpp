#include "mail/mail_component.h"

#include "mail/local_files.h"

#include <QDir>
#include <QFileInfo>

namespace qv {

QString attachment_dir(const QString& mail_dir, const QString& file_name) {
    QString stem = QFileInfo(file_name).fileName();
    if (stem.endsWith(QLatin1String(".eml"))) stem.chop(4);
    // The stem goes through the same rules as an attachment's own name (it is part of the
    // path the player looks at).
    stem = mail::attachment_file_name(stem, QByteArray(), QStringLiteral("mail"));
    return QDir(mail_dir).filePath(QStringLiteral("attach/") + stem);
}

}  // namespace qv
