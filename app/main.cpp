// The desktop program: creates the long-lived windows in order and runs the message loop.
#include "ui/Application.h"
#include "ui/TMainForm.h"
#include "ui/TSplashScrForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

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
    twinspotter::TwinspotterApplication app(argc, argv);

    twinspotter::TMainForm MainForm;
    twinspotter::TSplashScrForm SplashScrForm;
    MainForm.setSplash(&SplashScrForm);

    MainForm.show();
    scheduleScreenshot(MainForm);
    return app.exec();
}
