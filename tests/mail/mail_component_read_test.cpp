// ReadMail on saved mail files.
//  - The corpus in tests/data/mail: every *.eml decodes to exactly what its *.expected file
//    beside it says (the text a user hears, and where the attachment went).
//  - Hostile input: that corpus, files the fuzzers found (tests/data/fuzz/read) and big
//    generated mail (10 MB of HTML, endless headers, deep nesting, junk). Each one gives a mail,
//    in bounded time, with nothing written outside attach/<stem of the file>/ and ".mp3" only on
//    a part that is audio/mpeg.
#include "mail/curl_mail_component.h"
#include "support/fakes.h"
#include "support/hostile_html.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <time.h>
#include <cctype>
#include <functional>
#include <ostream>

namespace {

QString data_path(const QString& relative) {
    return QStringLiteral(QV_TEST_DATA_DIR "/") + relative;
}

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The files of a folder of tests/data (names relative to tests/data), sorted; for test
// parameters, so that a new file is read without a change here.
std::vector<std::string> data_files(const char* folder, const QStringList& patterns) {
    std::vector<std::string> out;
    const QDir dir(data_path(QString::fromLatin1(folder)));
    for (const QString& name : dir.entryList(patterns, QDir::Files, QDir::Name)) {
        out.push_back((QString::fromLatin1(folder) + QLatin1Char('/') + name).toStdString());
    }
    return out;
}

std::string test_name(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

class ReadMailTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::optional<qv::ParsedMail> read(const QString& file) {
        return mail_.ReadMail(file, dir_.path());
    }
    // Where the attachments of the mail file `mail` go, and one of them.
    QString attach_dir(const QString& mail) const { return qv::attachment_dir(dir_.path(), mail); }
    QString saved(const QString& mail, const char* name) const {
        return QDir(attach_dir(mail)).filePath(QString::fromUtf8(name));
    }
    QString here(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }

    // What every read of `file` must leave behind, whatever the file held.
    void expect_contained(const QString& file, const qv::ParsedMail& mail) const {
        const QString attachments = QDir(attach_dir(file)).absolutePath();
        QDirIterator it(dir_.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo written(it.next());
            if (written.absoluteFilePath() == QFileInfo(file).absoluteFilePath()) continue;
            EXPECT_EQ(written.absolutePath(), attachments) << written.filePath().toStdString();
        }
        if (mail.attachment.isEmpty()) {
            EXPECT_TRUE(mail.attachment_type.isEmpty());
            return;
        }
        const QFileInfo info(mail.attachment);
        EXPECT_TRUE(info.isFile()) << mail.attachment.toStdString();
        EXPECT_EQ(info.absolutePath(), attachments);
        EXPECT_FALSE(info.fileName().startsWith(QLatin1Char('.')));
        EXPECT_LE(QFile::encodeName(info.fileName()).size(), 255);
        const bool audio = mail.attachment_type == QLatin1String("audio/mpeg");
        EXPECT_EQ(info.fileName().endsWith(QLatin1String(".mp3")), audio)
            << mail.attachment.toStdString() << " " << mail.attachment_type.toStdString();
        if (!audio) {
            // The player opens anything whose path holds ".mp3".
            EXPECT_FALSE(QDir(dir_.path())
                             .relativeFilePath(mail.attachment)
                             .contains(QLatin1String(".mp3"), Qt::CaseInsensitive))
                << mail.attachment.toStdString();
        }
    }

    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
};

// --- the corpus and its golden files ---

// A golden file: "subject: ", "sender: ", "date: ", "attachment: " (the saved name),
// "attachment_type: " and "headerless: yes|no" lines, then "body:" and the body to the end
// of the file (one final line break is not part of it).
struct Golden {
    QString subject, sender, date, attachment, attachment_type, body;
    bool headerless = false;
};

std::optional<Golden> read_golden(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = QString::fromUtf8(f.readAll());
    const qsizetype body_at = text.indexOf(QLatin1String("\nbody:\n"));
    if (body_at < 0) return std::nullopt;
    Golden g;
    g.body = text.mid(body_at + 7);
    if (g.body.endsWith(QLatin1Char('\n'))) g.body.chop(1);
    for (const QString& line : text.left(body_at).split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QString key = line.left(colon);
        const QString value = line.mid(colon + 1).startsWith(QLatin1Char(' '))
                                  ? line.mid(colon + 2)
                                  : line.mid(colon + 1);
        if (key == QLatin1String("subject")) g.subject = value;
        if (key == QLatin1String("sender")) g.sender = value;
        if (key == QLatin1String("date")) g.date = value;
        if (key == QLatin1String("attachment")) g.attachment = value;
        if (key == QLatin1String("attachment_type")) g.attachment_type = value;
        if (key == QLatin1String("headerless")) g.headerless = value == QLatin1String("yes");
    }
    return g;
}

class CorpusTest : public ReadMailTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorpusTest, DecodesToItsGoldenFile) {
    const QString file = data_path(QString::fromStdString(GetParam()));
    QString golden_path = file;
    golden_path.replace(QLatin1String(".eml"), QLatin1String(".expected"));
    const auto golden = read_golden(golden_path);
    ASSERT_TRUE(golden) << "no golden file " << golden_path.toStdString();

    const auto mail = read(file);
    ASSERT_TRUE(mail) << mail_.lastError().toStdString();
    EXPECT_EQ(mail->subject, golden->subject);
    EXPECT_EQ(mail->sender, golden->sender);
    EXPECT_EQ(mail->date, golden->date);
    EXPECT_EQ(mail->body, golden->body);
    EXPECT_EQ(mail->headerless, golden->headerless);
    EXPECT_EQ(mail->attachment, golden->attachment.isEmpty()
                                    ? QString()
                                    : saved(file, golden->attachment.toUtf8().constData()));
    EXPECT_EQ(mail->attachment_type, golden->attachment_type);
    expect_contained(file, *mail);
}

INSTANTIATE_TEST_SUITE_P(Mail, CorpusTest,
                         ::testing::ValuesIn(data_files("mail", {QStringLiteral("*.eml")})),
                         [](const auto& info) { return test_name(info.param); });

// --- hostile mail ---

// Files the fuzzers found: each read without a crash, within the time a mail may take.
class FuzzFoundTest : public ReadMailTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(FuzzFoundTest, IsReadAsAMail) {
    const QString file = data_path(QString::fromStdString(GetParam()));
    const double start = cpu_seconds();
    const auto mail = read(file);
    EXPECT_LT(cpu_seconds() - start, 2.0);
    if (QFileInfo(file).size() == 0) {
        EXPECT_FALSE(mail);
        return;
    }
    ASSERT_TRUE(mail) << mail_.lastError().toStdString();
    expect_contained(file, *mail);
}

INSTANTIATE_TEST_SUITE_P(Read, FuzzFoundTest,
                         ::testing::ValuesIn(data_files("fuzz/read", {QStringLiteral("*")})),
                         [](const auto& info) { return test_name(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzFoundTest);

// Big mail built here (too big to keep as files), with what must still come through.
struct Generated {
    const char* name;
    std::function<QByteArray()> build;
    std::function<void(const qv::ParsedMail&)> check;
};

QByteArray html_mail(const QString& html) {
    return "From: html@example.test\r\nSubject: hostile\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           html.toUtf8();
}

const Generated kGenerated[] = {
    {"ten_megabytes_of_unclosed_tables", [] { return html_mail(qv::test::hostile_html(3).html); },
     [](const qv::ParsedMail& m) {
         EXPECT_TRUE(m.body.startsWith(QStringLiteral("x\n\nx\n\nx")));
     }},
    {"a_million_nested_elements", [] { return html_mail(qv::test::hostile_html(4).html); },
     [](const qv::ParsedMail& m) { EXPECT_EQ(m.body, QStringLiteral("bottom")); }},
    {"a_header_that_never_ends",
     [] { return "From: a@example.test\r\nX-Junk: " + QByteArray(16 * 1024 * 1024, 'a'); },
     [](const qv::ParsedMail& m) {
         EXPECT_EQ(m.sender, QStringLiteral("a@example.test"));
         EXPECT_FALSE(m.headerless);
     }},
    {"a_four_megabyte_subject",
     [] {
         return "From: a@example.test\r\nSubject: " + QByteArray(4 * 1024 * 1024, 'b') +
                "\r\n\r\nshort body\r\n";
     },
     [](const qv::ParsedMail& m) {
         EXPECT_TRUE(m.subject.startsWith(QStringLiteral("bbbb")));
         EXPECT_LE(m.subject.size(), 70 * 1024);
         EXPECT_EQ(m.body, QStringLiteral("short body"));
     }},
    {"multipart_nested_ten_thousand_deep",
     [] {
         QByteArray nested =
             "Subject: deep\r\nContent-Type: multipart/mixed; boundary=\"a\"\r\n\r\n";
         for (int depth = 0; depth < 10000; ++depth) {
             nested += "--a\r\nContent-Type: multipart/mixed; boundary=\"a\"\r\n\r\n";
         }
         return nested + "--a\r\nContent-Type: text/plain\r\n\r\nat the bottom\r\n";
     },
     [](const qv::ParsedMail& m) { EXPECT_EQ(m.subject, QStringLiteral("deep")); }},
    {"a_million_nul_bytes",
     [] { return "Subject: nul\r\n\r\nbefore" + QByteArray(1000000, '\0') + "after\r\n"; },
     [](const qv::ParsedMail& m) { EXPECT_EQ(m.body, QStringLiteral("beforeafter")); }},
    {"random_bytes",
     [] {
         QRandomGenerator generator(7);
         QByteArray junk(1024 * 1024, Qt::Uninitialized);
         for (char& c : junk) c = static_cast<char>(generator.bounded(256));
         return junk;
     },
     [](const qv::ParsedMail&) {}},
    {"random_bytes_under_broken_mime_headers",
     [] {
         QRandomGenerator generator(8);
         QByteArray junk(1024 * 1024, Qt::Uninitialized);
         for (char& c : junk) c = static_cast<char>(generator.bounded(256));
         return "Subject: =?ISO-2022-JP?B?GyRC?= =?x?Q?=?=\r\nContent-Type: multipart/mixed; "
                "boundary=\"\"\r\n\r\n--\r\n" +
                junk;
     },
     [](const qv::ParsedMail&) {}},
};

void PrintTo(const Generated& g, std::ostream* os) { *os << g.name; }

class GeneratedTest : public ReadMailTest, public ::testing::WithParamInterface<Generated> {};

TEST_P(GeneratedTest, IsReadAsAMailInBoundedTime) {
    const QString file = here("20261201-100000-0001.eml");
    ASSERT_TRUE(write_file(file, GetParam().build()));
    const double start = cpu_seconds();
    const auto mail = read(file);
    EXPECT_LT(cpu_seconds() - start, 3.0);
    ASSERT_TRUE(mail) << mail_.lastError().toStdString();
    GetParam().check(*mail);
    expect_contained(file, *mail);
}

INSTANTIATE_TEST_SUITE_P(Hostile, GeneratedTest, ::testing::ValuesIn(kGenerated),
                         [](const auto& info) { return std::string(info.param.name); });

// --- attachments and files ---

TEST_F(ReadMailTest, SavesAttachmentBytesExactly) {
    const auto bytes_of = [&](const char* mail, const char* name) {
        const QString file = data_path(QStringLiteral("mail/") + QString::fromUtf8(mail));
        EXPECT_TRUE(read(file));
        return file_bytes(saved(file, name));
    };
    EXPECT_EQ(bytes_of("attachment_rfc2231_japanese_name.eml", "見積書①.pdf"),
              QByteArray("%PDF-1.4\n% test attachment\n\x00\x01\x02\xff\n%%EOF\n", 38));
    EXPECT_EQ(bytes_of("attachment_rfc2231_continuation.eml", "議事録（第２回）.txt"),
              QByteArray("議事録の本文\n"));
    const QByteArray forwarded = bytes_of("forwarded_rfc822.eml", "message.eml");
    EXPECT_TRUE(forwarded.contains("Subject: inner")) << forwarded.toStdString();
    EXPECT_TRUE(forwarded.contains("inner body"));
    // What arrived of a cut attachment is kept, the cut base64 line decoded as far as it goes.
    EXPECT_TRUE(bytes_of("truncated_multipart.eml", "data.bin")
                    .startsWith(QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07\x08", 9)));
}

TEST_F(ReadMailTest, NeverOverwritesAFile) {
    const QString file = data_path(QStringLiteral("mail/attachment_path_traversal.eml"));
    ASSERT_TRUE(QDir().mkpath(attach_dir(file)));
    ASSERT_TRUE(write_file(saved(file, "evil.sh"), "mine"));
    const auto first = read(file);
    const auto second = read(file);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->attachment, saved(file, "evil-1.sh"));
    EXPECT_EQ(second->attachment, saved(file, "evil-2.sh"));
    EXPECT_EQ(file_bytes(saved(file, "evil.sh")), QByteArray("mine"));
    EXPECT_EQ(file_bytes(saved(file, "evil-1.sh")), QByteArray("#!/bin/sh\necho owned\n"));
}

TEST_F(ReadMailTest, CarriesATenMegabyteAttachment) {
    QByteArray payload(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(payload.data()), payload.size() / 4);
    QByteArray mail =
        "From: big@example.test\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n\r\n大きな添付\r\n--B\r\n"
        "Content-Type: audio/mpeg\r\nContent-Disposition: attachment; filename=\"big.mp3\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray encoded = payload.toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76) mail += encoded.mid(i, 76) + "\r\n";
    mail += "--B--\r\n";
    ASSERT_TRUE(write_file(here("big.eml"), mail));

    const double start = cpu_seconds();
    const auto read_mail = read(QStringLiteral("big.eml"));  // relative to the folder
    ASSERT_TRUE(read_mail);
    EXPECT_LT(cpu_seconds() - start, 10.0);
    EXPECT_EQ(read_mail->body, QStringLiteral("大きな添付"));
    EXPECT_EQ(read_mail->attachment, saved(here("big.eml"), "big.mp3"));
    EXPECT_EQ(read_mail->attachment_type, QStringLiteral("audio/mpeg"));
    EXPECT_TRUE(file_bytes(read_mail->attachment) == payload);
}

TEST_F(ReadMailTest, GivesNothingOnlyForAFileThatCannotBeRead) {
    EXPECT_FALSE(read(here("missing.eml")));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("missing.eml")));

    ASSERT_TRUE(write_file(here("empty.eml"), QByteArray()));
    EXPECT_FALSE(read(here("empty.eml")));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("empty.eml")));

    EXPECT_FALSE(read(dir_.path()));  // a folder

    // Anything else is a mail; a success clears the reason.
    ASSERT_TRUE(write_file(here("blank.eml"), "\r\n\r\n"));
    const auto blank = read(here("blank.eml"));
    ASSERT_TRUE(blank);
    EXPECT_TRUE(blank->headerless);
    EXPECT_EQ(blank->subject, qv::no_subject());
    EXPECT_TRUE(mail_.lastError().isEmpty());
}

}  // namespace
