#include "help/help.h"

#include "core/feedback.h"
#include "core/opener.h"

#include <QDir>
#include <QFile>
#include <QStringConverter>
#include <QTextStream>

#include <algorithm>

namespace qv {

namespace {

constexpr int kLastSection = 10;

}  // namespace

HelpSections parse_help(const QStringList& lines) {
    HelpSections sections;
    int help_count = 0;
    qsizetype next = 0;
    const qsizetype n = lines.size();
    while (next < n) {
        QString line = lines[next++];
        if (line.contains(QLatin1Char('<'))) {
            help_count = std::min(help_count + 1, kLastSection);
            // A marker on the last line starts a section with nothing in it.
            if (next >= n) break;
            line = lines[next++];
        }
        if (line.contains(QLatin1String("</"))) {
            if (next < n) ++next;
            continue;
        }
        sections[help_count] += line;
    }
    return sections;
}

Help::Help(QString program_dir, Feedback& out, DesktopOpener& opener, QObject* parent)
    : QObject(parent), program_dir_(std::move(program_dir)), out_(out), opener_(opener) {}

QString Help::path_of(const QString& name) const {
    return QDir(program_dir_).absoluteFilePath(name);
}

void Help::load_help() {
    help_text_ = HelpSections{};
    QFile file(path_of(fileName()));
    loaded_ = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (!loaded_) {
        say_missing(QStringLiteral("音声説明なしで続けます"));
        return;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QStringList lines;
    while (!in.atEnd()) lines << in.readLine();
    help_text_ = parse_help(lines);
}

void Help::say_missing(const QString& consequence) {
    const QString message =
        QStringLiteral("ヘルプのファイル %1 が読めません。%2").arg(fileName(), consequence);
    out_.tell(message);
}

void Help::help_help_Click() {
    if (!loaded_) {
        say_missing(QStringLiteral("音声説明はありません"));
        return;
    }
    out_.show_status(QStringLiteral("ヘルプ"));
    const int section = std::clamp(out_.focus().help_context, 0, kLastSection);
    if (section != 0 && user_moved_ && !user_moved_()) out_.speak(help_text_[0]);
    out_.speak(help_text_[section]);
    out_.speak(help_text_[1]);
}

void Help::htmlhelp_Click() {
    const QString path = path_of(manualName());
    // The browser takes over from here; only a manual that cannot be shown needs words.
    if (QFile::exists(path) && opener_.open(path)) return;
    out_.tell(QStringLiteral("説明書 %1 を開けませんでした").arg(manualName()));
}

}  // namespace qv
