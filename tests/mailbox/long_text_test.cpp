#include "mailbox/long_text.h"
#include "support/printers.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using namespace qv;

TEST(SpeechPieces, CutAfterEveryHundredCharactersAsAListenerCountsThem) {
    const QString hundred(100, QChar(u'字'));
    const QString a99(99, QChar('a'));
    EXPECT_TRUE(speech_pieces(QString()).isEmpty() && speech_pieces("abc", 0).isEmpty());
    EXPECT_EQ(speech_pieces(hundred), QStringList{hundred});
    EXPECT_EQ(speech_pieces(hundred + "x"), (QStringList{hundred, "x"}));
    EXPECT_EQ(speech_pieces("abcdefg", 3), (QStringList{"abc", "def", "g"}));
    // A character outside the basic plane, a flag, CR LF, an emoji with a skin tone and a letter
    // with two combining accents are one character each.
    EXPECT_EQ(speech_pieces(a99 + "😀🇯🇵\r\nz"), (QStringList{a99 + "😀", "🇯🇵\r\nz"}));
    EXPECT_EQ(speech_pieces(a99 + "👍🏽e\u0301\u0302 fin"),
              (QStringList{a99 + "👍🏽", "e\u0301\u0302 fin"}));
    // A long text is cut from windows of it; the pieces still agree with the clusters of the
    // whole text, even around a cluster far longer than a window (a letter under 600 marks).
    QString text;
    const QString parts[] = {"かな", "e\u0301", "👨‍👩‍👧‍👦", "\r\n", "🇯🇵",
                             "ｶﾞ",   "한"};
    for (int i = 0; i < 3000; ++i) text += parts[(i * 3) % 7];
    text += "x" + QString(600, QChar(0x0301)) + "end";
    QStringList clusters, expected;
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype from = 0, next; (next = f.toNextBoundary()) > 0; from = next) {
        clusters << text.mid(from, next - from);
    }
    for (qsizetype i = 0; i < clusters.size(); i += 100) expected << clusters.mid(i, 100).join("");
    EXPECT_EQ(speech_pieces(text), expected);
}
