#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>

// Expected transcripts live as text files under tests/data, one utterance a line (UTF-8), so a
// test compares what the user heard with golden_lines("receive/ctrl_m.txt"). A missing file
// fails the calling test rather than comparing against nothing.
inline QStringList golden_lines(const QString& relative_path) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/") + relative_path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no golden file " << file.fileName().toStdString();
        return {};
    }
    QString all = QString::fromUtf8(file.readAll());
    if (all.endsWith(u'\n')) all.chop(1);
    return all.isEmpty() ? QStringList{} : all.split(u'\n');
}
