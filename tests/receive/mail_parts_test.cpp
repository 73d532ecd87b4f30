#include "receive/mail_parts.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(SavedMailNames, OnlyVisibleEmlFilesAreMails) {
    EXPECT_TRUE(is_saved_mail_name(QStringLiteral("20261205-090530-0001.eml")));
    EXPECT_TRUE(is_saved_mail_name(QStringLiteral("20261205-090530-0001-1.eml")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("report.pdf")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("voice.mp3")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".qv-part-abc-XYZ123")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".uidl-0123")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral(".hidden.eml")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("mail.EML")));
    EXPECT_FALSE(is_saved_mail_name(QStringLiteral("attach/x/message.eml")));
}
