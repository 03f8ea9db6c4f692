// twinspotter-screenshot: the desktop program with a harness that runs one search on the locations it was given,
// saves a picture of its own window and quits. Made for scripts/screenshot.sh and never installed.
#include "app/WindowProgram.h"
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

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

// With TWINSPOTTER_SCREENSHOT set, the program runs one search on the locations it was given,
// saves a picture of its own window there, names on standard error what it shows and quits.
// TWINSPOTTER_SCREENSHOT_CANCEL=N (when not empty) cancels that search once it has found N pairs,
// TWINSPOTTER_SCREENSHOT_CANCEL=comparing once it compares contents; TWINSPOTTER_SCREENSHOT_LAST_ROWS=1 scrolls the
// table to its last rows first; TWINSPOTTER_SCREENSHOT_TICK names check boxes (by object name, comma-separated) to tick
// before the search; TWINSPOTTER_SCREENSHOT_REMOVE=1 runs the bulk removal after the search and pictures its "Not
// removed" box instead of the window.
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
    return twinspotter::runWindowProgram(argc, argv, scheduleScreenshot);
}
