#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>

// The lines (UTF-8) of a file under tests/data, e.g. a transcript one utterance a line. A missing
// file fails the calling test rather than comparing against nothing.
inline QStringList golden_lines(const QString& relative_path) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/") + relative_path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly))
        << "no golden file " << file.fileName().toStdString();
    QString all = QString::fromUtf8(file.readAll());
    if (all.endsWith(u'\n')) all.chop(1);
    return all.isEmpty() ? QStringList{} : all.split(u'\n');
}
