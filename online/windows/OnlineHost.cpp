// The Windows side of the default host: GetModuleFileNameW and the shell's "Open" (ShellExecuteExW).
#include "online/OnlineHost.h"

#include "core/windows/WinText.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>

namespace twinspotter {

std::filesystem::path OnlineHost::programDirectory()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (got == 0)
            return std::filesystem::current_path().native() + L"\\";
        if (got < name.size()) {
            name.resize(got);
            break;
        }
        name.resize(name.size() * 2); // cut short: a longer path (\\?\ or a long folder name) needs more room
    }
    // A trailing separator, so that file names join directly.
    return std::filesystem::path(name).parent_path().native() + L"\\";
}

void OnlineHost::open(const std::string& target)
{
    // Like the desktop's "Open", a start that fails is not looked at.
    ::ShellExecuteW(nullptr, L"open", toWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

int OnlineHost::startProgram(const std::filesystem::path& program)
{
    // The program opened by its association (an .exe runs itself), in this process's working folder, and left
    // to run on its own; the shell's own error box is left out, since the caller tells the user what failed.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = program.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info))
        return 0;
    return errnoOf(::GetLastError());
}

} // namespace twinspotter
