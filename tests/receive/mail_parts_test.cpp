#include "receive/mail_parts.h"
#include "support/printers.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

QStringList answer(const QString& subject, const QString& from, const QString& body) {
    return {subject, from, QStringLiteral("Sat, 5 Dec 2026 09:00:00 +0900"), QString(), body};
}

}  // namespace

TEST(SplitReadMail, TakesEachPartAfterItsMarker) {
    const ReceivedMail m =
        split_read_mail(answer(QStringLiteral("subject: Hello"), QStringLiteral("From: Taro"),
                               QStringLiteral("Body: line one\nline two")));
    EXPECT_EQ(m.subject, QStringLiteral("Hello"));
    EXPECT_EQ(m.sender, QStringLiteral(" Taro"));  // the blank after the colon stays
    EXPECT_EQ(m.date, QStringLiteral("Sat, 5 Dec 2026 09:00:00 +0900"));
    EXPECT_EQ(m.body, QStringLiteral(" line one\nline two"));
    EXPECT_EQ(m.attach, QString());
}

TEST(SplitReadMail, MarkersAnywhereInTheirElementAndCaseMatters) {
    const ReceivedMail m = split_read_mail(answer(
        QStringLiteral("xxsubject: 件名です"), QStringLiteral("Sender From: 山田 <y@example.test>"),
        QStringLiteral("本文 Body:あいう")));
    EXPECT_EQ(m.subject, QStringLiteral("件名です"));
    EXPECT_EQ(m.sender, QStringLiteral(" 山田 <y@example.test>"));
    EXPECT_EQ(m.body, QStringLiteral("あいう"));

    // "FROM:" and "BODY:" are not the markers: the whole element is taken.
    const ReceivedMail upper = split_read_mail(answer(
        QStringLiteral("subject: a"), QStringLiteral("FROM: Taro"), QStringLiteral("BODY: text")));
    EXPECT_EQ(upper.sender, QStringLiteral("FROM: Taro"));
    EXPECT_EQ(upper.body, QStringLiteral("BODY: text"));
}

TEST(SplitReadMail, SubjectWithoutMarkerIsCutFromTheNinthCharacter) {
    // "Subject" is not "subject": the text is cut as if the marker had stood at its start.
    EXPECT_EQ(
        split_read_mail(answer(QStringLiteral("Subject: Hello"), QString(), QString())).subject,
        QStringLiteral(" Hello"));
    EXPECT_EQ(split_read_mail(answer(QStringLiteral("short"), QString(), QString())).subject,
              QString());
}

TEST(SplitReadMail, BodyLosesEveryUnderscoreAndHyphenButKeepsQuotes) {
    const ReceivedMail m =
        split_read_mail(answer(QStringLiteral("subject: x"), QStringLiteral("From: y"),
                               QStringLiteral("Body:a-b_c -- __ \"q\" it's")));
    EXPECT_EQ(m.body, QStringLiteral("abc   \"q\" it's"));
    // The subject and sender keep theirs.
    const ReceivedMail n =
        split_read_mail(answer(QStringLiteral("subject: re-do_it"), QStringLiteral("From: a-b_c"),
                               QStringLiteral("Body:")));
    EXPECT_EQ(n.subject, QStringLiteral("re-do_it"));
    EXPECT_EQ(n.sender, QStringLiteral(" a-b_c"));
}

TEST(SplitReadMail, TheSixthElementIsTheAttachmentAndFurtherOnesAreIgnored) {
    QStringList parts =
        answer(QStringLiteral("subject: s"), QStringLiteral("From: f"), QStringLiteral("Body: b"));
    EXPECT_EQ(split_read_mail(parts).attach, QString());
    parts << QStringLiteral("File: /data/mail/report.pdf") << QStringLiteral("File: /second");
    EXPECT_EQ(split_read_mail(parts).attach, QStringLiteral("File: /data/mail/report.pdf"));
}

TEST(SplitReadMail, AShortAnswerGivesEmptyParts) {
    const ReceivedMail m = split_read_mail({QStringLiteral("subject: only")});
    EXPECT_EQ(m.subject, QStringLiteral("only"));
    EXPECT_EQ(m.sender, QString());
    EXPECT_EQ(m.body, QString());
    EXPECT_EQ(m.attach, QString());
}

TEST(StoredForms, BodyLosesBothQuoteKinds) {
    EXPECT_EQ(body_for_store(QStringLiteral("He said \"it's\" ''ok''")),
              QStringLiteral("He said its ok"));
}

TEST(StoredForms, AttachmentPathIsWhatFollowsTheMarker) {
    EXPECT_EQ(attachment_path(QStringLiteral("File: /data/mail/a b.mp3")),
              QStringLiteral("/data/mail/a b.mp3"));
    EXPECT_EQ(attachment_path(QString()), QString());
    EXPECT_EQ(attachment_path(QStringLiteral("xFile: /p")), QStringLiteral("/p"));
}

TEST(SavedMailNames, OnlyVisibleEmlFilesAreMails) {
    EXPECT_TRUE(is_saved_mail_name(QStringLiteral("20261205-090530-0001.eml")));
    EXPECT_TRUE(is_saved_mail_name(QStringLiteral("20261205-090530-0001-1.eml")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("report.pdf")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("voice.mp3")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".qv-part-abc-XYZ123")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".uidl-0123")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".hidden.eml")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("mail.EML")));
}
