#include "help/help.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/window_harness.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace qv;

namespace {
QString read(const QString& path) { return QString::fromUtf8(test::file_bytes(path)); }
// The rows of a table under tests/data/help (columns split at a tab), without its comments.
QStringList table(const QString& name) {
    return golden_lines("help/" + name).filter(QRegularExpression("^[^#]"));
}
QStringList said(test::WindowHarness& h, int key, const char* action = nullptr) {
    h.mark();
    action ? h.trigger(action) : h.key(key);
    return h.spokenSinceMark();
}
}  // namespace

TEST(HelpFile, SectionsFollowTheMarkerLines) {
    for (const QString& row : table("layouts.tsv")) {
        const HelpSections s = parse_help(row.section('\t', 0, 0).split("\\n"));
        EXPECT_EQ(QStringList({s[0], s[1], s[2], s[3], s[10]}).join('|'), row.section('\t', 1))
            << row.toStdString();
    }
}

TEST(HelpCommand, F1SaysTheGeneralHelpFirstUntilTheUserMovesThenTheAreaAndTheCommonHelp) {
    test::WindowHarness h;
    ASSERT_GT(h.seed().insertAccount({"p", "s", "u", "p", "u@example.test", "n", "t"}), 0);
    ASSERT_TRUE(h.start());  // without the help file: said after the time, and the program goes on
    const QString missing = "ヘルプのファイル help.txt が読めません。";
    EXPECT_TRUE(h.spoken().value(0) == "09時05分" && h.spoken().join('|').contains(missing));
    EXPECT_TRUE(said(h, Qt::Key_F1).value(0).startsWith(missing));
    // The manual is missing too: said, not handed to the browser.
    EXPECT_EQ(said(h, 0, "htmlhelp").size() + h.opener.opened.size(), 1);
    const QString manual = h.dataDir() + "/" + Help::manualName();
    ASSERT_TRUE(QFile::copy(QV_SOURCE_DIR "/data/help.txt", h.dataDir() + "/help.txt"));
    ASSERT_TRUE(QFile::copy(QV_SOURCE_DIR "/data/" + Help::manualName(), manual));
    h.parts().help->load_help();
    const HelpSections s = parse_help(read(h.dataDir() + "/help.txt").split('\n'));
    // The program, not the user, put the focus in the mail list.
    EXPECT_EQ(said(h, Qt::Key_F1), (QStringList{s[0], s[2], s[1]}));
    EXPECT_EQ(h.w().cmd_message->text(), "ヘルプ");
    h.focus(h.w().List2);
    EXPECT_EQ(said(h, Qt::Key_F1), (QStringList{s[6], s[1]}));
    h.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(said(h, Qt::Key_F1), (QStringList{s[2], s[1]}));
    EXPECT_EQ(said(h, 0, "htmlhelp") + h.opener.opened, QStringList{manual});
    // The shipped help names each area's keys, and the manual what it must explain.
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(s[i].isEmpty(), i > 6) << i;
    for (const QString& row : table("shipped.tsv")) {
        const QString text = row.startsWith("manual") ? read(manual) : s[row.left(1).toInt()];
        EXPECT_TRUE(text.contains(row.section('\t', 1))) << row.toStdString();
    }
}
