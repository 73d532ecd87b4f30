#include "app/app.h"

#include "core/platform.h"
#include "mail/curl_mail_component.h"
#include "shell/main_window.h"
#include "speech/speech_channel.h"
#include "speech/speech_engines.h"

#include <QApplication>
#include <QDir>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace qv {

QString usage_text() {
    return QStringLiteral(
        "Usage: quorvel [options]\n"
        "Quorvel Mailer: a talking e-mail client for people who work by keyboard and ear.\n"
        "\n"
        "Options:\n"
        "  --data-dir DIR       keep the database and the mail directory in DIR instead of\n"
        "                       beside the program (created if missing)\n"
        "  --speech ENGINE      auto (default), openjtalk, qt or transcript; transcript writes\n"
        "                       each utterance as one line on standard output\n"
        "  --speech-log FILE    also append every utterance to FILE, one line each\n"
        "  --version            print the version and exit\n"
        "  --help               print this help and exit\n");
}

std::optional<AppOptions> parse_options(const QStringList& args, QString* error) {
    AppOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool has_value = false;
        if (qsizetype eq = arg.indexOf(QLatin1Char('='));
            arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            has_value = true;
        }
        auto take_value = [&](QString* out) {
            if (has_value) {
                *out = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("option %1 needs a value").arg(arg);
                return false;
            }
            *out = args[++i];
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg == QLatin1String("--data-dir")) {
            if (!take_value(&options.data_dir)) return std::nullopt;
            if (options.data_dir.isEmpty()) {
                *error = QStringLiteral("--data-dir needs a directory");
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--speech")) {
            if (!take_value(&options.speech)) return std::nullopt;
            if (!is_speech_mode(options.speech)) {
                *error = QStringLiteral(
                             "unknown speech engine '%1' (auto, openjtalk, qt or "
                             "transcript)")
                             .arg(options.speech);
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--speech-log")) {
            if (!take_value(&options.speech_log)) return std::nullopt;
        } else {
            *error = QStringLiteral("unknown option '%1'").arg(args[i]);
            return std::nullopt;
        }
    }
    return options;
}

namespace {

bool have_display() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

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
    SystemClock clock;
    EventLoopPauser pauser;
    QtDesktopOpener opener;
    CurlMailComponent component(pauser);

    int code = 0;
    {
        MainWindow window(Services{*speech, component, clock, opener, program_dir, data_dir});
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
