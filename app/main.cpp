// The desktop program: creates the long-lived windows in order and runs the message loop.
#include "online/OnlineHost.h"
#include "ui/Application.h"
#include "ui/QtOnlineHost.h"
#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "ui/TSplashScrForm.h"
#include "ui/Tcontactmessage.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Screenshots only: with TWINSPOTTER_SCREENSHOT set, the program fills the locations from
// TWINSPOTTER_DEMO_LOCATION1/2, runs one search, saves a picture of its own window there and quits.
void scheduleScreenshot(twinspotter::TMainForm& form)
{
    const QString target = qEnvironmentVariable("TWINSPOTTER_SCREENSHOT");
    if (target.isEmpty())
        return;
    QTimer::singleShot(300, &form, [&form, target] {
        form.edtStartDir1->setText(qEnvironmentVariable("TWINSPOTTER_DEMO_LOCATION1"));
        form.edtStartDir2->setText(qEnvironmentVariable("TWINSPOTTER_DEMO_LOCATION2"));
        if (!form.edtStartDir1->text().isEmpty())
            form.Buttonfind->click();
        QTimer::singleShot(300, &form, [&form, target] {
            const bool saved = form.grab().save(target, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
}

} // namespace

int main(int argc, char** argv)
{
    // Qt would abort with a core dump; say what is wrong and where the headless scanner is instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "twinspotter: no display found. On a machine without a screen use the headless "
                             "scanner: twinspotter-scan LOCATION1 [LOCATION2]\n");
        return 1;
    }
    twinspotter::TwinspotterApplication app(argc, argv);
    twinspotter::QtOnlineHost onlineHost;
    twinspotter::SetOnlineHost(&onlineHost);

    twinspotter::TMainForm MainForm;
    twinspotter::TSplashScrForm SplashScrForm;
    twinspotter::Tcontactmessage contactmessage(&MainForm);
    twinspotter::TAboutForm AboutForm(&MainForm);
    MainForm.setSplash(&SplashScrForm);
    MainForm.setAboutWindows(&AboutForm, &contactmessage);

    MainForm.show();
    // The start-up may have started the updater: the program ends here, also when an error box came in between.
    if (onlineHost.quitRequested())
        return 0;
    scheduleScreenshot(MainForm);
    return app.exec();
}
