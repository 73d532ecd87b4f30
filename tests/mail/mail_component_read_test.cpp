// ReadMail on saved mail files, and HTML bodies made into text: each file of the corpus (and
// each HTML file) as its golden file says, and hostile input (that corpus, what the fuzzers found,
// big generated mail and HTML) read in bounded time with nothing written outside its place.
#include "mail/curl_mail_component.h"
#include "mail/html_text.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/hostile_html.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <time.h>
#include <cctype>

namespace {

QString data_path(const QString& relative) {
    return QStringLiteral(QV_TEST_DATA_DIR "/") + relative;
}

using qv::test::file_bytes;
using qv::test::write_file;

// The files of folders of tests/data (names relative to tests/data) that match a pattern, for
// test parameters, so that a new file is read without a change here.
std::vector<std::string> data_files(const std::vector<std::pair<const char*, const char*>>& where) {
    std::vector<std::string> out;
    for (const auto& [folder, pattern] : where) {
        const QDir dir(data_path(QString::fromLatin1(folder)));
        for (const QString& name : dir.entryList({QString::fromLatin1(pattern)}, QDir::Files)) {
            out.push_back(std::string(folder) + '/' + name.toStdString());
        }
    }
    return out;
}

std::string test_name(std::string name) {
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

QByteArray random_bytes(quint32 seed, qsizetype size) {
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(out.data()), size / 4);
    return out;
}

class ReadMailTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::optional<qv::ParsedMail> read(const QString& file) {
        return mail_.ReadMail(file, dir_.path());
    }
    // Where the attachments of the mail file `mail` go, and one of them.
    QString attach_dir(const QString& mail) const { return qv::attachment_dir(dir_.path(), mail); }
    QString saved(const QString& mail, const QString& name) const {
        return QDir(attach_dir(mail)).filePath(name);
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
// "attachment_type: ", "attachment_sha256: " (of the saved bytes) and "headerless: yes|no"
// lines, then "body:" and the body to the end of the file (one final line break is not part of
// it). An HTML file's golden file is just its text.
QHash<QString, QString> read_golden(const QString& path) {
    const QString text = QString::fromUtf8(file_bytes(path));
    const qsizetype body_at = text.indexOf(QLatin1String("\nbody:\n"));
    QHash<QString, QString> golden;
    if (body_at < 0) return golden;
    golden[QStringLiteral("body")] =
        text.mid(body_at + 7).chopped(text.endsWith(QLatin1Char('\n')) ? 1 : 0);
    for (const QString& line : text.left(body_at).split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        golden[line.left(colon)] =
            line.mid(colon + (line.mid(colon + 1, 1) == QLatin1String(" ") ? 2 : 1));
    }
    return golden;
}

// Every file is read in bounded time; the files the fuzzers found (tests/data/fuzz) need do no
// more, every other one gives just what its golden file says.
class CorpusTest : public ReadMailTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorpusTest, ReadsAsItsGoldenFileSays) {
    const QString file = data_path(QString::fromStdString(GetParam()));
    const QString golden_path = file.section(QLatin1Char('.'), 0, -2) + QLatin1String(".expected");
    const bool found = GetParam().rfind("fuzz/", 0) == 0;
    ASSERT_TRUE(found || QFile::exists(golden_path)) << golden_path.toStdString();
    const double start = cpu_seconds();
    if (GetParam().rfind("html/", 0) == 0 || GetParam().rfind("fuzz/html/", 0) == 0) {
        qv::mail::html_declared_charset(file_bytes(file));
        const QString text = qv::mail::html_to_text(QString::fromUtf8(file_bytes(file)));
        EXPECT_LT(cpu_seconds() - start, 1.5);
        EXPECT_TRUE(found || text.toUtf8() + '\n' == file_bytes(golden_path))
            << golden_path.toStdString();
        return;
    }
    const auto mail = read(file);
    EXPECT_LT(cpu_seconds() - start, 2.0);
    ASSERT_EQ(bool(mail), !found || QFileInfo(file).size() > 0) << mail_.lastError().toStdString();
    if (!mail) return;  // an empty file the fuzzers found
    expect_contained(file, *mail);
    if (found) return;
    auto golden = read_golden(golden_path);
    EXPECT_EQ(mail->subject, golden[QStringLiteral("subject")]);
    EXPECT_EQ(mail->sender, golden[QStringLiteral("sender")]);
    EXPECT_EQ(mail->date, golden[QStringLiteral("date")]);
    EXPECT_EQ(mail->body, golden[QStringLiteral("body")]);
    EXPECT_EQ(mail->headerless, golden[QStringLiteral("headerless")] == QLatin1String("yes"));
    const QString attachment = golden[QStringLiteral("attachment")];
    EXPECT_EQ(mail->attachment, attachment.isEmpty() ? QString() : saved(file, attachment));
    EXPECT_EQ(mail->attachment_type, golden[QStringLiteral("attachment_type")]);
    if (golden.contains(QStringLiteral("attachment_sha256"))) {
        EXPECT_EQ(QCryptographicHash::hash(file_bytes(mail->attachment), QCryptographicHash::Sha256)
                      .toHex(),
                  golden[QStringLiteral("attachment_sha256")].toLatin1());
    }
}

INSTANTIATE_TEST_SUITE_P(Data, CorpusTest,
                         ::testing::ValuesIn(data_files({{"mail", "*.eml"},
                                                         {"html", "*.html"},
                                                         {"fuzz/read", "*"},
                                                         {"fuzz/html", "*"}})),
                         [](const auto& info) { return test_name(info.param); });

// --- hostile mail and HTML ---

class HostileHtmlTest : public ::testing::TestWithParam<int> {};

TEST_P(HostileHtmlTest, BecomesTextWithinASecond) {
    const qv::test::HostileHtml hostile = qv::test::hostile_html(GetParam());
    const double start = cpu_seconds();
    const QString text = qv::mail::html_to_text(hostile.html);
    // A second, as the budget of 0.7 s allows; three under AddressSanitizer, as the budget is.
    EXPECT_LT(cpu_seconds() - start, qv::mail::kHtmlBudgetSeconds / 0.7);
    EXPECT_TRUE(text.contains(hostile.survives)) << text.left(200).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Built, HostileHtmlTest, ::testing::Range(0, qv::test::kHostileHtmlKinds),
                         [](const auto& info) {
                             return test_name(qv::test::kHostileHtml[info.param].name);
                         });

// Big mail described in tests/data/cases/hostile_mail.txt (too big to keep as files): what the
// description language there means.
QByteArray expand(const QByteArray& d) {
    QByteArray out;
    for (qsizetype i = 0; i < d.size(); ++i) {
        if (d[i] == '\\' && i + 1 < d.size()) {
            const char c = d[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
        } else if (d[i] == '{') {
            qsizetype end = i;
            for (int depth = 0; end < d.size(); ++end) {
                depth += d[end] == '{' ? 1 : d[end] == '}' ? -1 : 0;
                if (depth == 0) break;
            }
            const QByteArray token = d.mid(i + 1, end - i - 1);
            const QList<QByteArray> f = token.split(':');
            if (f[0] == "html") {
                out += qv::test::hostile_html(f[1].toInt()).html.toUtf8();
            } else if (f[0] == "random" || f[0] == "base64") {
                const QByteArray bytes = random_bytes(f[1].toUInt(), f[2].toLongLong());
                if (f[0] == "random") out += bytes;
                const QByteArray encoded = f[0] == "base64" ? bytes.toBase64() : QByteArray();
                for (qsizetype at = 0; at < encoded.size(); at += 76) {
                    out += encoded.mid(at, 76) + "\r\n";
                }
            } else {
                const qsizetype star = token.indexOf('*');
                out += expand(token.mid(star + 1)).repeated(token.left(star).toInt());
            }
            i = end;
        } else {
            out += d[i];
        }
    }
    return out;
}

QByteArray field_of(const qv::ParsedMail& m, const QByteArray& name) {
    if (name == "headerless") return m.headerless ? "yes" : "no";
    if (name == "attachment") return QFileInfo(m.attachment).fileName().toUtf8();
    if (name == "attachment_bytes") return file_bytes(m.attachment);
    const QString text = name == "subject"  ? m.subject
                         : name == "sender" ? m.sender
                         : name == "body"   ? m.body
                                            : m.attachment_type;
    return text.toUtf8();
}

std::vector<std::string> hostile_mail() {
    std::vector<std::string> rows;
    for (const QByteArray& line :
         file_bytes(data_path(QStringLiteral("cases/hostile_mail.txt"))).split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#')) rows.push_back(line.toStdString());
    }
    return rows;
}

class GeneratedTest : public ReadMailTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(GeneratedTest, IsReadAsAMailInBoundedTime) {
    const QList<QByteArray> row = QByteArray::fromStdString(GetParam()).split('\t');
    ASSERT_EQ(row.size() % 3, 2) << row[0].constData();
    ASSERT_TRUE(write_file(here("20261201-100000-0001.eml"), expand(row[1])));
    const double start = cpu_seconds();
    const auto mail = read(QStringLiteral("20261201-100000-0001.eml"));  // relative to the folder
    EXPECT_LT(cpu_seconds() - start, 3.0);
    ASSERT_TRUE(mail) << mail_.lastError().toStdString();
    for (qsizetype c = 2; c + 2 < row.size(); c += 3) {
        const QByteArray got = field_of(*mail, row[c]);
        const QByteArray& op = row[c + 1];
        const QByteArray want = expand(row[c + 2]);
        const bool ok = op == "is" ? got == want
                        : op == "starts"
                            ? got.startsWith(want)
                            : op.startsWith("count=") && got.count(want) == op.mid(6).toLongLong();
        EXPECT_TRUE(ok) << row[c].constData() << ' ' << op.constData() << ' '
                        << want.left(100).constData() << ", got " << got.left(100).constData();
    }
    expect_contained(here("20261201-100000-0001.eml"), *mail);
}

INSTANTIATE_TEST_SUITE_P(Hostile, GeneratedTest, ::testing::ValuesIn(hostile_mail()),
                         [](const auto& info) {
                             return info.param.substr(0, info.param.find('\t'));
                         });

// --- files ---

TEST_F(ReadMailTest, NeverOverwritesAFile) {
    const QString file = data_path(QStringLiteral("mail/attachment_path_traversal.eml"));
    ASSERT_TRUE(QDir().mkpath(attach_dir(file)));
    ASSERT_TRUE(write_file(saved(file, QStringLiteral("evil.sh")), "mine"));
    const auto first = read(file);
    const auto second = read(file);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->attachment, saved(file, QStringLiteral("evil-1.sh")));
    EXPECT_EQ(second->attachment, saved(file, QStringLiteral("evil-2.sh")));
    EXPECT_EQ(file_bytes(saved(file, QStringLiteral("evil.sh"))), QByteArray("mine"));
    EXPECT_EQ(file_bytes(first->attachment), QByteArray("#!/bin/sh\necho owned\n"));
}

TEST_F(ReadMailTest, GivesNothingOnlyForAFileThatCannotBeRead) {
    EXPECT_FALSE(read(here("missing.eml")));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("missing.eml")));

    // (An empty file: the receive tests, which keep it in quarantine.)
    EXPECT_FALSE(read(dir_.path()));  // a folder

    // Anything else is a mail, even a blank one; a success clears the reason.
    EXPECT_TRUE(read(data_path(QStringLiteral("mail/headerless_blank_lines.eml"))));
    EXPECT_TRUE(mail_.lastError().isEmpty());
}

}  // namespace
