#include "window/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// QApplication takes these out of the command line itself, so they must not count as mistakes.
constexpr std::array qtOptionsWithValue{"platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry", "name",
    "style", "stylesheet", "qmljsdebugger"};
constexpr std::array qtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync"};

void addHidden(QCommandLineParser& parser, const char* name, const QString& valueName)
{
    QCommandLineOption option(QString::fromLatin1(name), QString(), valueName);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
}

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int refuse(const QString& mistake)
{
    const QString name = QCoreApplication::applicationName();
    print(stderr,
        QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(name, mistake));
    return EXIT_FAILURE;
}

// Qt would abort, and suggest reinstalling the program.
std::optional<int> refuseWithoutDisplay(int argc, char* argv[])
{
    const auto unset = [](const char* name) {
        const char* value = std::getenv(name);
        return !value || !*value;
    };
    const bool platformChosen = !unset("QT_QPA_PLATFORM")
        || std::any_of(argv + 1, argv + argc, [](std::string_view argument) {
               return argument == "-platform" || argument == "--platform"
                   || argument.starts_with("-platform=") || argument.starts_with("--platform=");
           });
    if (platformChosen || !unset("DISPLAY") || !unset("WAYLAND_DISPLAY"))
        return std::nullopt;
    std::fprintf(stderr,
        "%s: no display was found (neither DISPLAY nor WAYLAND_DISPLAY is set); to run it in a "
        "virtual X server: xvfb-run -a %s\n",
        argv[0], argv[0]);
    return EXIT_FAILURE;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char* argv[])
{
    if (argc <= 1)
        return refuseWithoutDisplay(argc, argv);

    const QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps a numbered list of the files you opened recently in its File menu."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and quit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Show the version and quit."));
    parser.addOptions({help, version});
    for (const char* name : qtOptionsWithValue)
        addHidden(parser, name, QStringLiteral("value"));
    for (const char* name : qtFlags)
        addHidden(parser, name, QString());

    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return EXIT_SUCCESS;
    }
    if (parser.isSet(version)) {
        print(stdout,
            QStringLiteral("%1 %2\n").arg(
                QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        return EXIT_SUCCESS;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst()));
    return refuseWithoutDisplay(argc, argv);
}
