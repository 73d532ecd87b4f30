#include "help/help.h"

#include "core/app_state.h"
#include "core/feedback.h"
#include "core/platform.h"

#include <QDir>
#include <QFile>
#include <QStringConverter>
#include <QTextStream>

#include <algorithm>

namespace qv {

namespace {

constexpr int kLastSection = 10;

QString help_path(const AppState& state, const QString& name) {
    return QDir(state.program_dir).absoluteFilePath(name);
}

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

Help::Help(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

void Help::load_help() {
    ctx_.state.help_text = HelpSections{};
    QFile file(help_path(ctx_.state, fileName()));
    loaded_ = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (!loaded_) {
        say_missing(QStringLiteral("音声説明なしで続けます"));
        return;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QStringList lines;
    while (!in.atEnd()) lines << in.readLine();
    ctx_.state.help_text = parse_help(lines);
}

void Help::say_missing(const QString& consequence) {
    const QString message =
        QStringLiteral("ヘルプのファイル %1 が読めません。%2").arg(fileName(), consequence);
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

void Help::help_help_Click() {
    if (!loaded_) {
        say_missing(QStringLiteral("音声説明はありません"));
        return;
    }
    ctx_.out.show_status(QStringLiteral("ヘルプ"));
    const int section = std::clamp(ctx_.state.help_context, 0, kLastSection);
    ctx_.out.speak(ctx_.state.help_text[section]);
    ctx_.out.speak(ctx_.state.help_text[1]);
}

void Help::htmlhelp_Click() {
    const QString path = help_path(ctx_.state, manualName());
    // The browser takes over from here; only a manual that cannot be shown needs words.
    if (QFile::exists(path) && ctx_.opener.open(path)) return;
    const QString message = QStringLiteral("説明書 %1 を開けませんでした").arg(manualName());
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

}  // namespace qv
