// The desktop on Windows: the registry key, the Recycle Bin, the shell's folder picker, and file names as UTF-16.
#include "ui/Desktop.h"

#include "core/windows/WinText.h"
#include "ui/PathText.h"

#include <QDir>
#include <QWidget>

#include <shlobj.h>
#include <windows.h>

#include <stdexcept>

namespace twinspotter {

// Through the core's own conversion, so that a name with a lone surrogate (which NTFS allows) shows and comes back
// unchanged instead of as U+FFFD.
QString displayText(std::string_view bytes)
{
    const std::wstring wide = toWide(bytes);
    return QString::fromWCharArray(wide.data(), static_cast<qsizetype>(wide.size()));
}

PathString toPath(const QString& text)
{
    return fromWide(std::wstring_view(reinterpret_cast<const wchar_t*>(text.utf16()), text.size()));
}

namespace desktop {

namespace {

constexpr wchar_t kKeyPath[] = L"Software\\QuillNet\\Twinspotter";

class RegistryKey : public SettingsKey
{
public:
    RegistryKey()
    {
        const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        if (status != ERROR_SUCCESS)
            throw std::runtime_error("The settings key HKEY_CURRENT_USER\\Software\\QuillNet\\Twinspotter could not "
                                     "be opened (error " +
                                     std::to_string(status) + ").");
        // Written through at once rather than whenever Windows gets round to it.
        ::RegFlushKey(m_key);
    }
    ~RegistryKey() override { ::RegCloseKey(m_key); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    QString location() const override { return QStringLiteral("HKEY_CURRENT_USER\\Software\\QuillNet\\Twinspotter"); }

private:
    HKEY m_key = nullptr;
};

// Frees what the shell allocated for the chosen folder's item list.
struct ItemList
{
    PIDLIST_ABSOLUTE items = nullptr;
    ~ItemList() { ::CoTaskMemFree(items); }
};

} // namespace

std::unique_ptr<SettingsKey> openSettingsKey()
{
    return std::make_unique<RegistryKey>();
}

QString trashOptionCaption()
{
    return QStringLiteral("move files to the Recycle &Bin instead of deleting");
}

QString chooseFolder(QWidget* parent, const QString& title)
{
    const std::wstring caption = title.toStdWString();
    BROWSEINFOW info{};
    info.hwndOwner = parent ? reinterpret_cast<HWND>(parent->window()->winId()) : nullptr;
    info.pidlRoot = nullptr; // the desktop
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    const ItemList chosen{::SHBrowseForFolderW(&info)};
    if (!chosen.items)
        return QString();
    // A path of any length: the buffer SHGetPathFromIDListW fills holds MAX_PATH only.
    PWSTR path = nullptr;
    if (FAILED(::SHGetNameFromIDList(chosen.items, SIGDN_FILESYSPATH, &path)) || !path)
        return QString();
    const QString folder = QString::fromWCharArray(path);
    ::CoTaskMemFree(path);
    return QDir::toNativeSeparators(folder);
}

bool displayAvailable()
{
    return true;
}

} // namespace desktop
} // namespace twinspotter
