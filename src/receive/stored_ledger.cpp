#include "receive/stored_ledger.h"

#include "mail/mail_component.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace qv {

QByteArray StoredLedger::digestOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    if (f.size() == 0) return mail_file_digest({});
    const uchar* bytes = f.map(0, f.size());
    if (!bytes) return QByteArray();
    return mail_file_digest(
        QByteArrayView(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(f.size())));
}

void StoredLedger::load(const QString& dir) {
    dir_ = dir;
    names_.clear();
    digests_.clear();
    QFile f(QDir(dir).filePath(fileName()));
    if (!f.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty()) continue;
        const qsizetype tab = line.indexOf('\t');
        names_.insert(QString::fromUtf8(tab < 0 ? line : line.left(tab)));
        if (tab >= 0 && tab + 1 < line.size()) digests_.insert(line.mid(tab + 1));
    }
}

bool StoredLedger::add(const std::vector<std::pair<QString, QByteArray>>& entries) {
    QByteArray lines;
    for (const auto& [name, digest] : entries) {
        if (name.isEmpty() || name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\t')))
            continue;
        const bool new_name = !names_.contains(name);
        const bool new_digest = !digest.isEmpty() && !digests_.contains(digest);
        if (!new_name && !new_digest) continue;
        names_.insert(name);
        lines += name.toUtf8();
        if (!digest.isEmpty()) {
            digests_.insert(digest);
            lines += '\t' + digest;
        }
        lines += '\n';
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

bool StoredLedger::add(const QStringList& names) {
    std::vector<std::pair<QString, QByteArray>> entries;
    entries.reserve(names.size());
    for (const QString& name : names) entries.emplace_back(name, QByteArray());
    return add(entries);
}

}  // namespace qv
