// The desktop program: creates the long-lived windows in order and runs the message loop.
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

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// Watches the search about to start and cancels it at the first point where it lets the window handle its events
// with at least \p pairs pairs found, or, with \p comparing, once it compares contents; a zero timer runs at every
// such point. The caller deletes the watch.
QTimer* cancelSearchAfter(twinspotter::MainWindow& window, std::size_t pairs, bool comparing)
{
    auto* watch = new QTimer(&window);
    auto* cancel = window.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    auto* phase = window.findChild<QLabel*>(QStringLiteral("ProgressLabel"));
    QObject::connect(watch, &QTimer::timeout, &window, [&window, cancel, phase, watch, pairs, comparing] {
        const bool due = comparing ? phase->text().startsWith(QStringLiteral("Comparing contents"))
                                   : window.session().pairs().size() >= pairs;
        if (cancel->isEnabled() && due) {
            watch->stop();
            cancel->click();
        }
    });
    watch->start(0);
    return watch;
}

// After the search: presses "Delete duplicate files", answers Yes and OK, and saves a picture of the "Not removed"
// box to \p target once it is up, then quits. Without such a box the program stays until the script's timeout.
void pictureNotRemovedBox(twinspotter::MainWindow& window, const QString& target)
{
    auto* answer = new QTimer(&window);
    QObject::connect(answer, &QTimer::timeout, &window, [answer, target] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (modal->objectName() == QStringLiteral("NotRemovedDialog")) {
            answer->stop();
            QTimer::singleShot(300, modal, [modal, target] {
                const bool saved = modal->grab().save(target, "PNG");
                QCoreApplication::exit(saved ? 0 : 1);
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->accept();
        }
    });
    answer->start(50);
    window.findChild<QPushButton*>(QStringLiteral("btnDelete"))->click();
}

// What the picture shows, for a script that checks the window without reading the picture: the caption, the pair
// count and the table's rows.
void reportPictured(const twinspotter::MainWindow& window)
{
    const auto* count = window.findChild<QLabel*>(QStringLiteral("Labelcount1"));
    const auto* table = window.findChild<QTableView*>(QStringLiteral("strGridD"));
    std::fprintf(stderr, "twinspotter: pictured \"%s\" showing \"%s\" in %d rows\n",
                 qUtf8Printable(window.windowTitle()), qUtf8Printable(count->text()), table->model()->rowCount());
}

// Screenshots only: with TWINSPOTTER_SCREENSHOT set, the program runs one search on the locations it was given,
// saves a picture of its own window there, names on standard error what it shows and quits.
// TWINSPOTTER_SCREENSHOT_CANCEL=N (when not empty) cancels that search once it has found N pairs,
// TWINSPOTTER_SCREENSHOT_CANCEL=comparing once it compares contents;
// TWINSPOTTER_SCREENSHOT_LAST_ROWS=1 scrolls the table to its last rows first; TWINSPOTTER_SCREENSHOT_TICK names
// check boxes (by object name, comma-separated) to tick before the search; TWINSPOTTER_SCREENSHOT_REMOVE=1 runs the
// bulk removal after the search and pictures its "Not removed" box instead of the window.
void scheduleScreenshot(twinspotter::MainWindow& window)
{
    const QString target = qEnvironmentVariable("TWINSPOTTER_SCREENSHOT");
    if (target.isEmpty())
        return;
    QTimer::singleShot(300, &window, [&window, target] {
        bool cancel = false;
        const int cancelAfter = qEnvironmentVariableIntValue("TWINSPOTTER_SCREENSHOT_CANCEL", &cancel);
        const bool cancelComparing =
            qEnvironmentVariable("TWINSPOTTER_SCREENSHOT_CANCEL") == QStringLiteral("comparing");
        QTimer* watch =
            cancel || cancelComparing
                ? cancelSearchAfter(window, static_cast<std::size_t>(std::max(cancelAfter, 0)), cancelComparing)
                : nullptr;
        for (const QString& name :
             qEnvironmentVariable("TWINSPOTTER_SCREENSHOT_TICK").split(u',', Qt::SkipEmptyParts)) {
            if (auto* box = window.findChild<QCheckBox*>(name))
                box->setChecked(true);
            else
                std::fprintf(stderr, "twinspotter: no check box named %s\n", qPrintable(name));
        }
        if (!window.findChild<QLineEdit*>(QStringLiteral("edtStartDir1"))->text().isEmpty())
            window.findChild<QPushButton*>(QStringLiteral("Buttonfind"))->click();
        if (watch) {
            // A small tree is searched between two of the window's servicing points: nothing could stop it.
            if (!window.session().lastSearch().cancelled)
                std::fprintf(stderr, "twinspotter: the search ended before it could be cancelled\n");
            delete watch;
        }
        if (qEnvironmentVariableIntValue("TWINSPOTTER_SCREENSHOT_REMOVE") != 0) {
            pictureNotRemovedBox(window, target);
            return;
        }
        if (qEnvironmentVariableIntValue("TWINSPOTTER_SCREENSHOT_LAST_ROWS") != 0)
            window.findChild<QTableView*>(QStringLiteral("strGridD"))->scrollToBottom();
        QTimer::singleShot(300, &window, [&window, target] {
            const bool saved = window.grab().save(target, "PNG");
            reportPictured(window);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (answerInformationOption(argc, argv))
        return 0;
    // Qt would abort with a core dump; say what is wrong and where the headless scanner is instead.
    if (!twinspotter::desktop::displayAvailable() && !platformChosen(argc, argv)) {
        std::fprintf(stderr, "twinspotter: no display found. On a machine without a screen use the headless "
                             "scanner: twinspotter-scan LOCATION1 [LOCATION2]\n");
        return 1;
    }
    twinspotter::TwinspotterApplication app(argc, argv);
    QStringList locations;
    if (!readLocations(QCoreApplication::arguments(), locations))
        return 2;
    twinspotter::QtOnlineHost onlineHost;
    twinspotter::setOnlineHost(&onlineHost);

    twinspotter::MainWindow window;
    twinspotter::SplashScreen splash;
    twinspotter::ContactDialog contactDialog(&window);
    twinspotter::AboutDialog aboutDialog(&window);
    window.setSplash(&splash);
    window.setAboutWindows(&aboutDialog, &contactDialog);
    window.setLocations(locations.value(0), locations.value(1));

    window.show();
    // The start-up may have started the updater: the program ends here, also when an error box came in between; and
    // a window closed while the start-up check waited leaves nothing to run for.
    if (onlineHost.quitRequested() || !window.isVisible())
        return 0;
    scheduleScreenshot(window);
    return app.exec();
}
