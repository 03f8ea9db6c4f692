// Qt tests run the real start-up steps: settings, the stale updater file and the postponement file must land in a
// directory of the test's own, never in the user's.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace twinspotter::test {

/// Points the settings at \p home and makes it the working directory; false when that cannot be done.
/// Run by hand, outside the test runner, the start-up's update check still talks only to this machine.
inline bool EnterPrivateHome(const QTemporaryDir& home)
{
    if (!home.isValid())
        return false;
    if (qEnvironmentVariableIsEmpty("TWINSPOTTER_SERVER"))
        qputenv("TWINSPOTTER_SERVER", "http://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("TWINSPOTTER_PROBE_HOSTS"))
        qputenv("TWINSPOTTER_PROBE_HOSTS", "nothing.invalid");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    return QDir::setCurrent(home.path());
}

} // namespace twinspotter::test
