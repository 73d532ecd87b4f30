#include "mailbox/long_text.h"
#include "support/printers.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using namespace qv;

namespace {

// The clusters of a text, found over the whole text at once.
QStringList clusters(const QString& text) {
    QStringList out;
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype next = f.toNextBoundary(); next > 0; next = f.toNextBoundary()) {
        out << text.mid(from, next - from);
        from = next;
    }
    return out;
}

}  // namespace

TEST(SpeechPieces, ShortExactAndEmptyTexts) {
    EXPECT_TRUE(speech_pieces(QString()).isEmpty());
    EXPECT_EQ(speech_pieces(QStringLiteral("短い")), QStringList{QStringLiteral("短い")});
    const QString hundred(100, QChar(u'字'));
    EXPECT_EQ(speech_pieces(hundred), QStringList{hundred});
    const QString hundredOne = hundred + QStringLiteral("x");
    EXPECT_EQ(speech_pieces(hundredOne), (QStringList{hundred, QStringLiteral("x")}));
}

TEST(SpeechPieces, SurrogatePairsLineBreaksAndFlagsCountAsOneCharacter) {
    // 99 letters, then a character outside the basic plane, then a flag (two regional
    // indicators) and CR LF, each heard as one character.
    const QString text = QString(99, QChar('a')) + QStringLiteral("😀🇯🇵\r\nz");
    const QStringList pieces = speech_pieces(text);
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces[0], QString(99, QChar('a')) + QStringLiteral("😀"));
    EXPECT_EQ(pieces[1], QStringLiteral("🇯🇵\r\nz"));
}

TEST(SpeechPieces, AgreeWithClustersOfTheWholeTextForLongMixedText) {
    // Long enough that pieces are cut from a window of the text, with clusters of every size,
    // including one far longer than a window (a letter under 600 marks).
    QString text;
    const QString parts[] = {QStringLiteral("かな"),
                             QStringLiteral("e\u0301"),
                             QStringLiteral("👨‍👩‍👧‍👦"),
                             QStringLiteral("\r\n"),
                             QStringLiteral("🇯🇵"),
                             QStringLiteral("ｶﾞ"),
                             QStringLiteral("한")};
    for (int i = 0; i < 3000; ++i) text += parts[(i * 3) % 7];
    text += QStringLiteral("x") + QString(600, QChar(0x0301)) + QStringLiteral("end");
    const QStringList all = clusters(text);

    QStringList expected;
    for (qsizetype i = 0; i < all.size(); i += 100) expected << all.mid(i, 100).join(QString());
    const QStringList pieces = speech_pieces(text);
    EXPECT_EQ(pieces.size(), expected.size());
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(pieces.join(QString()), text);
}

TEST(SpeechPieces, OtherPieceLengths) {
    EXPECT_EQ(speech_pieces(QStringLiteral("abcdefg"), 3),
              (QStringList{QStringLiteral("abc"), QStringLiteral("def"), QStringLiteral("g")}));
    EXPECT_TRUE(speech_pieces(QStringLiteral("abc"), 0).isEmpty());
}
