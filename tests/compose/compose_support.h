#pragma once

// The compose window: "taro" current and signed, an address book, Japanese typed via an IME.

#include "support/files.h"
#include "support/golden.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace qv::test {

inline const QString kSigned = "\n山田太郎\ntaro@example.test";
inline const QString kCleared = "送信したメールを入力欄から消しました。次のメールを書けます";

// What the user hears, from tests/data/compose; \n stands for a line break inside an utterance.
inline QStringList transcript(const char* name) {
    return golden_lines(QStringLiteral("compose/") + name).replaceInStrings("\\n", "\n");
}

class ComposeWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        seed_accounts(h.seed(), {fake_account("taro")});
        ASSERT_TRUE(h.seed().updateSignature("山田太郎\r\ntaro@example.test"));
        for (const QString entry : {"花子 hanako", "田中 tanaka", "田辺 tanabe", "下線 a_b"})
            ASSERT_TRUE(h.seed().insertAddress(entry.section(' ', 0, 0),
                                               entry.section(' ', 1) + "@example.test"));
    }
    void start() {
        ASSERT_TRUE(h.start());
        h.mark();
    }
    void write(const QString& to, const QString& subject, const QString& body) {
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.type(to);
        h.key(Qt::Key_Tab);
        h.type(subject);
        h.key(Qt::Key_Tab);
        h.type(body);
    }
    QStringList fields() {
        return {h.w().mailto->text(), h.w().subject->text(), h.w().body->toPlainText()};
    }
    // A recording waiting to go, as the recorder leaves it; no content, no file.
    QString pending_recording(const QByteArray& content) {
        h.options().voice_file = "quorvel-taro-20261205090530";
        h.parts().recorder->set_voice_attached(true);
        const QString path = h.parts().recorder->voice_path();
        EXPECT_TRUE(content.isEmpty() || write_file(path, content));
        return path;
    }
    WindowHarness h;
};

}  // namespace qv::test
