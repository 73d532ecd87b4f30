#pragma once

// What the compose tests share: an account and an address book to start from, Japanese typing
// (as an input method delivers it), and the real recorder laid out beside the test's program.

#include "compose/voice_recorder.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QtMath>

namespace qv::test {

struct TestAccount {
    QString pop = QStringLiteral("pop.example.test");
    QString smtp = QStringLiteral("smtp.example.test");
    QString user = QStringLiteral("taro");
    QString password = QStringLiteral("secret");
    QString email = QStringLiteral("taro@example.test");
};

// Adds the account to the database and makes it the current one.
inline void seed_current_account(MailStore& db, const TestAccount& a) {
    const int id = db.insertAccount(
        AccountFields{a.pop, a.smtp, a.user, a.password, a.email, QStringLiteral("テスト"), {}});
    if (id <= 0 || !db.setCurrentAccount(id)) qFatal("cannot seed the test account");
}

inline void seed_other_account(MailStore& db, const TestAccount& a) {
    if (db.insertAccount(AccountFields{
            a.pop, a.smtp, a.user, a.password, a.email, QStringLiteral("その他"), {}}) <= 0)
        qFatal("cannot seed the test account");
}

// Text committed by an input method into the focused field, the way Japanese is typed.
inline void commit_text(const QString& text) {
    QWidget* target = QApplication::focusWidget();
    if (!target) qFatal("nothing has the focus to type into");
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
}

inline VoiceRecorder& recorder_of(WindowHarness& h) {
    auto* recorder = h.window().findChild<VoiceRecorder*>();
    if (!recorder) qFatal("the window has no voice recorder");
    return *recorder;
}

// The built recorder, laid out as wavein28/waveIn beside the program as the installation does.
inline bool install_recorder(const QString& program_dir) {
    const QString built = QStringLiteral(QV_BIN_DIR "/wavein28");
    if (!QFile::exists(built + QStringLiteral("/waveIn"))) return false;
    return QFile::link(built, QDir(program_dir).filePath(QStringLiteral("wavein28")));
}

// A 16-bit mono PCM WAV file holding `seconds` of a 440 Hz tone.
inline bool write_tone_wav(const QString& path, int seconds, int rate = 16000) {
    const quint32 samples = quint32(seconds * rate);
    QByteArray pcm;
    pcm.reserve(int(samples * 2));
    for (quint32 i = 0; i < samples; ++i) {
        const qint16 v = qint16(12000 * qSin(2 * M_PI * 440.0 * i / rate));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), int(pcm.size()));
    return out.status() == QDataStream::Ok;
}

inline QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace qv::test
