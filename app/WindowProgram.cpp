// The desktop program: creates the long-lived windows in order and runs the message loop.
#include "app/WindowProgram.h"

#include "core/ShortcutTarget.h"
#include "core/Version.h"
#include "online/OnlineHost.h"
#include "ui/AboutDialog.h"
#include "ui/Application.h"
#include "ui/ContactDialog.h"
#include "ui/Desktop.h"
#include "ui/MainWindow.h"
#include "ui/PathText.h"
#include "ui/QtOnlineHost.h"
#include "ui/SplashScreen.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "Usage: twinspotter [LOCATION1 [LOCATION2]]\n"
    "       twinspotter --help | --version\n"
    "\n"
    "Opens the duplicate file finder's window. LOCATION1 and LOCATION2 fill its two location boxes as dropping\n"
    "them there would; with LOCATION2 the window starts in two-location mode. Qt's own options (-platform,\n"
    "-style, ...) are understood as well. Without a display, twinspotter-scan does the search.\n";

// Answered before Qt starts, so that both work without a display.
bool answerInformationOption(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("twinspotter %s\n", twinspotter::kVersion);
            return true;
        }
    }
    return false;
}

bool platformChosen(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// A launcher hands over what was dropped on it: folders, files, shortcut files (resolved as a drop on the window
// resolves them) and, from some desktops, file: URLs. A relative path is the shell's: it names the box absolutely.
QString locationFromArgument(const QString& argument)
{
    QString path = argument.startsWith(QLatin1String("file:")) ? QUrl(argument).toLocalFile() : argument;
    if (path.isEmpty())
        return path;
    if (QFileInfo(path).isRelative())
        path = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const std::string target = twinspotter::shortcutTarget(twinspotter::toPath(path));
    return target == twinspotter::kNotAShortcut ? path : twinspotter::displayText(target);
}

// The arguments that Qt left after taking its own options; false after an unknown option.
bool readLocations(const QStringList& arguments, QStringList& locations)
{
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "twinspotter: unknown option %s (see --help)\n", qPrintable(argument));
            return false;
        } else {
            locations << locationFromArgument(argument);
        }
    }
    // Several folders dropped on the launcher: like a drop on the window, the ones without a box are left out.
    if (locations.size() > 2)
        std::fprintf(stderr, "twinspotter: only the first two locations are used\n");
    return true;
}

} // namespace

namespace twinspotter {

int runWindowProgram(int argc, char** argv, const std::function<void(MainWindow&)>& onShown)
{
    if (answerInformationOption(argc, argv))
        return 0;
    // Qt would abort with a core dump; say what is wrong and where the headless scanner is instead.
    if (!desktop::displayAvailable() && !platformChosen(argc, argv)) {
        std::fprintf(stderr, "twinspotter: no display found. On a machine without a screen use the headless "
                             "scanner: twinspotter-scan LOCATION1 [LOCATION2]\n");
        return 1;
    }
    TwinspotterApplication app(argc, argv);
    QStringList locations;
    if (!readLocations(QCoreApplication::arguments(), locations))
        return 2;
    QtOnlineHost onlineHost;
    setOnlineHost(&onlineHost);

    MainWindow window;
    SplashScreen splash;
    ContactDialog contactDialog(&window);
    AboutDialog aboutDialog(&window);
    window.setSplash(&splash);
    window.setAboutWindows(&aboutDialog, &contactDialog);
    window.setLocations(locations.value(0), locations.value(1));

    window.show();
    // The start-up may have started the updater: the program ends here, also when an error box came in between; and
    // a window closed while the start-up check waited leaves nothing to run for.
    if (onlineHost.quitRequested() || !window.isVisible())
        return 0;
    if (onShown)
        onShown(window);
    return app.exec();
}

} // namespace twinspotter
