// libFuzzer: any bytes as a received mail file, read into the parsed mail. Besides crashes it
// stops on a broken promise: every non-empty file gives a mail, and an attachment lands in
// attach/<stem>/ with ".mp3" in its path only when the part is audio/mpeg.
#include "mail/mail_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* what, const QString& detail) {
    std::fprintf(stderr, "broken promise: %s: %s\n", what, qUtf8Printable(detail));
    std::abort();
}

QTemporaryDir& folder() {
    // Memory-backed when the system has it: every input is written, read and removed.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/qv-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/qv-fuzz-XXXXXX"));
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString dir = folder().path();
    const QString file = QDir(dir).filePath(QStringLiteral("20261205-090000-0001.eml"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        out.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    qv::mail::MailReader reader;
    const auto mail = reader.read(file, dir);
    if (!mail && size > 0) broken("no mail from a non-empty file", reader.error());
    if (mail && !mail->attachment.isEmpty()) {
        const QString attachments = qv::attachment_dir(dir, file);
        if (QFileInfo(mail->attachment).absolutePath() != QDir(attachments).absolutePath()) {
            broken("attachment outside its folder", mail->attachment);
        }
        const bool audio = mail->attachment_type == QLatin1String("audio/mpeg");
        const QString relative = QDir(dir).relativeFilePath(mail->attachment);
        if (audio != relative.endsWith(QLatin1String(".mp3")) ||
            (!audio && relative.contains(QLatin1String(".mp3"), Qt::CaseInsensitive))) {
            broken("a name that plays as voice",
                   relative + QLatin1Char(' ') + mail->attachment_type);
        }
    }
    QDir(QDir(dir).filePath(QStringLiteral("attach"))).removeRecursively();
    return 0;
}
