#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qv::test {

// A whole file's bytes; empty when it cannot be read.
inline QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

}  // namespace qv::test
