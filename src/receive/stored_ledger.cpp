#include "receive/stored_ledger.h"

#include <QDir>
#include <QFile>

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace qv {

void StoredLedger::load(const QString& dir) {
    dir_ = dir;
    names_.clear();
    QFile f(QDir(dir).filePath(fileName()));
    if (!f.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty()) continue;
        // Lines of older versions carry a tab and more after the name.
        const qsizetype tab = line.indexOf('\t');
        names_.insert(QString::fromUtf8(tab < 0 ? line : line.left(tab)));
    }
}

bool StoredLedger::add(const QStringList& names) {
    QByteArray lines;
    for (const QString& name : names) {
        if (name.isEmpty() || name.contains(QLatin1Char('\n')) || names_.contains(name)) continue;
        names_.insert(name);
        lines += name.toUtf8() + '\n';
    }
    if (lines.isEmpty()) return true;
    QFile f(QDir(dir_).filePath(fileName()));
    bool written = f.open(QIODevice::WriteOnly | QIODevice::Append) &&
                   f.write(lines) == lines.size() && f.flush();
    QString why = f.errorString();
    if (written && ::fdatasync(f.handle()) != 0) {
        written = false;
        why = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!written) {
        error_ = QStringLiteral("%1 に書き込めません（%2）").arg(f.fileName(), why);
        return false;
    }
    error_.clear();
    return true;
}

}  // namespace qv
