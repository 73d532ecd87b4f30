#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace qv {

// The command line. The program behaves the same without any option.
struct AppOptions {
    QString data_dir;  // empty: beside the program
    QString speech = QStringLiteral("auto");
    QString speech_log;
    bool help = false;
    bool version = false;
};

// Parses the arguments (without the program name). On a bad argument returns nothing and puts
// the message into *error.
std::optional<AppOptions> parse_options(const QStringList& args, QString* error);
QString usage_text();

// Runs the program; returns its exit code.
int run_app(int argc, char** argv);

}  // namespace qv
