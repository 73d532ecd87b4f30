#include "receive/stored_ledger.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace qv {

void StoredLedger::load(const QString& dir) {
    dir_ = dir;
    names_.clear();
    QFile f(QDir(dir).filePath(fileName()));
    if (!f.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.isEmpty()) names_.insert(QString::fromUtf8(line));
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
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(lines) != lines.size() ||
        !f.flush()) {
        std::fprintf(stderr, "quorvel: cannot write %s: %s\n", qUtf8Printable(f.fileName()),
                     qUtf8Printable(f.errorString()));
        return false;
    }
    return true;
}

}  // namespace qv
