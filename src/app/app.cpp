#include "app/app.h"

#include "core/clock.h"
#include "core/opener.h"
#include "core/wait.h"
#include "mail/curl_mail_component.h"
#include "shell/main_window.h"
#include "speech/audio_player.h"
#include "speech/speech_channel.h"
#include "speech/speech_engines.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLockFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace qv {

namespace {

// The options the program understands; parse_options and usage_text describe the same ones.
struct Parser {
    QCommandLineParser parser;
    QCommandLineOption data_dir{QStringLiteral("data-dir"),
                                QStringLiteral("keep the database and the mail directory in DIR "
                                               "instead of beside the program (created if "
                                               "missing)"),
                                QStringLiteral("DIR")};
    QCommandLineOption speech{QStringLiteral("speech"),
                              QStringLiteral("auto (default), openjtalk, qt or transcript; "
                                             "transcript writes each utterance as one line on "
                                             "standard output"),
                              QStringLiteral("ENGINE"), QStringLiteral("auto")};
    QCommandLineOption speech_log{
        QStringLiteral("speech-log"),
        QStringLiteral("also append every utterance to FILE, one line each"),
        QStringLiteral("FILE")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("print this help and exit")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("print the version and exit")};

    Parser() {
        parser.setApplicationDescription(
            QStringLiteral("Quorvel Mailer: a talking e-mail client for people who work by "
                           "keyboard and ear."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({data_dir, speech, speech_log, help, version});
    }
};

QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

bool have_display() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

QString usage_text() { return Parser().parser.helpText(); }

std::optional<AppOptions> parse_options(const QStringList& args, QString* error) {
    Parser p;
    if (!p.parser.parse(QStringList{QStringLiteral("quorvel")} + args)) {
        const QStringList unknown = p.parser.unknownOptionNames();
        *error = unknown.isEmpty()
                     ? p.parser.errorText()
                     : QStringLiteral("unknown option '%1'").arg(dashed(unknown.first()));
        return std::nullopt;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unknown option '%1'").arg(p.parser.positionalArguments().first());
        return std::nullopt;
    }
    AppOptions options;
    options.help = p.parser.isSet(p.help);
    options.version = p.parser.isSet(p.version);
    options.data_dir = p.parser.value(p.data_dir);
    options.speech = p.parser.value(p.speech);
    options.speech_log = p.parser.value(p.speech_log);
    if (p.parser.isSet(p.data_dir) && options.data_dir.isEmpty()) {
        *error = QStringLiteral("--data-dir needs a directory");
        return std::nullopt;
    }
    if (!is_speech_mode(options.speech)) {
        *error = QStringLiteral("unknown speech engine '%1' (auto, openjtalk, qt or transcript)")
                     .arg(options.speech);
        return std::nullopt;
    }
    return options;
}

int run_app(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    std::optional<AppOptions> options = parse_options(args, &error);
    if (!options) {
        std::fprintf(stderr, "quorvel: %s\nTry 'quorvel --help'.\n", qUtf8Printable(error));
        return 2;
    }
    if (options->help) {
        // The help names the program as it was started.
        QCoreApplication core(argc, argv);
        std::fputs(qUtf8Printable(usage_text()), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("Quorvel Mailer 2.0.0\n");
        return 0;
    }
    if (!have_display()) {
        std::fprintf(stderr,
                     "quorvel: no display found (DISPLAY is not set); run it in a desktop "
                     "session, or headless with QT_QPA_PLATFORM=offscreen\n");
        return 1;
    }

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quorvel"));
    app.setApplicationVersion(QStringLiteral("2.0.0"));

    const QString program_dir = QCoreApplication::applicationDirPath();
    const QString data_dir =
        options->data_dir.isEmpty() ? program_dir : QDir(options->data_dir).absolutePath();
    if (!QDir().mkpath(data_dir)) {
        std::fprintf(stderr, "quorvel: cannot create the data directory %s\n",
                     qUtf8Printable(data_dir));
        return 1;
    }

    auto* speech = new SpeechChannel(make_speech_engines(options->speech), options->speech_log);

    // One program per data directory: a second one would store the same received files again
    // and write into the same database. The lock of a program that was killed is taken over.
    QLockFile lock(QDir(data_dir).filePath(QStringLiteral(".quorvel.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        const QString message = QStringLiteral(
            "Quorvel Mailer はすでに起動しています。この二つめは何もせずに終了します");
        std::fprintf(stderr, "quorvel: %s (%s)\n", qUtf8Printable(message),
                     qUtf8Printable(data_dir));
        speech->speak(message);
        speech->waitUntilIdle(10000);
        if (!speech->shutdown(1500)) std::_Exit(1);
        delete speech;
        return 1;
    }

    SystemClock clock;
    Waiter waiter;
    QtDesktopOpener opener;
    MediaAudioPlayer player;
    CurlMailComponent component(waiter);

    int code = 0;
    {
        MainWindow window(Services{*speech, component, clock, opener, player, waiter, waiter,
                                   program_dir, data_dir});
        window.showMaximized();
        QTimer::singleShot(0, &window, [&window] {
            if (window.Form_Load()) return;
            // Let the user hear why before the program ends.
            QTimer::singleShot(0, [&window] { QCoreApplication::exit(window.exit_code()); });
        });
        code = app.exec();
        if (code == 0) code = window.exit_code();
        if (code != 0) speech->waitUntilIdle(10000);
    }
    // A voice engine that hangs must not keep the program from ending.
    if (!speech->shutdown(1500)) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    delete speech;
    return code;
}

}  // namespace qv
