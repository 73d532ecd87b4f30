#pragma once

#include <QString>
#include <QStringList>

namespace qv::recorder {

// Exit codes the mail client can tell apart.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitInput = 3,
    kExitOutput = 4,
};

struct Options {
    int seconds = 0;
    int kbps = 32;
    int quality = 5;
    int outputRate = 32000;
    QString baseName;
    QString wavPath;  // empty: record the default audio input
};

struct ParseResult {
    enum Kind { Run, Help, Error } kind = Error;
    Options options;
    QString error;
};

// args excludes the program name.
ParseResult parseArguments(const QStringList& args);

QString usageText();

// The MP3 sample rate LAME can write that lies nearest to hz (ties go to the higher rate).
int nearestMp3Rate(double hz);

}  // namespace qv::recorder
