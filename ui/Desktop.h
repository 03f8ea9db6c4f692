// What the window asks of the desktop it runs on. Each platform defines these in a file of its own, chosen by the
// build: ui/posix/Desktop.cpp (Linux desktops, freedesktop.org) and ui/windows/Desktop.cpp (the Windows shell).
#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace twinspotter::desktop {

/// The program's settings key, opened and created when missing at start-up and held open until the program ends.
/// Nothing is read from it or written to it: its only trace is that it exists after the first run. On Windows it is
/// HKEY_CURRENT_USER\Software\QuillNet\Twinspotter; elsewhere QSettings' file for QuillNet/Twinspotter.
class SettingsKey
{
public:
    virtual ~SettingsKey() = default;
    /// Where the key lives, as a user would look for it (a registry path or a file name).
    virtual QString location() const = 0;
};

/// Opens the key, creating it when missing; throws std::runtime_error when it can be neither opened nor created.
std::unique_ptr<SettingsKey> openSettingsKey();

/// The caption of the option that moves copies into the desktop's bin for deleted files, with its access key: the
/// Trash of Linux desktops, the Recycle Bin of Windows.
QString trashOptionCaption();

/// The platform's folder picker titled \p title, opened with nothing chosen and no button that makes a folder;
/// an empty text when the user cancels.
QString chooseFolder(QWidget* parent, const QString& title);

/// False when there is certainly no screen to open a window on (no X11 or Wayland display named). Windows always
/// has one.
bool displayAvailable();

} // namespace twinspotter::desktop
