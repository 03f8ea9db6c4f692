// The online services' file operations and the updater's checks on Windows: names opened without following a
// reparse point, renames by MoveFileExW, a download checked for the PE header of this machine.
#include "online/SystemFiles.h"

#include "core/windows/WinText.h"
#include "online/Updater.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string_view>

namespace twinspotter {

namespace {

std::wstring wideOf(const std::filesystem::path& path)
{
    return systemPath(fromWide(path.native()));
}

// A folder of the system as an environment variable names it, lower case, with no trailing separator.
std::wstring folderOf(const wchar_t* variable)
{
    std::wstring value(MAX_PATH, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(variable, value.data(), static_cast<DWORD>(value.size()));
    if (got == 0 || got >= value.size())
        return {};
    value.resize(got);
    while (!value.empty() && (value.back() == L'\\' || value.back() == L'/'))
        value.pop_back();
    for (wchar_t& c : value)
        c = static_cast<wchar_t>(std::towlower(c));
    return value;
}

} // namespace

NameHolds whatIsAt(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(wideOf(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NameHolds::Nothing : NameHolds::Other;
    }
    return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)
               ? NameHolds::Other
               : NameHolds::RegularFile;
}

// The reparse point itself is opened, never what it leads to, and only a disk file is read: a pipe or a console
// could block the start for good.
FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes)
{
    FileStart start;
    const UniqueHandle file(::CreateFileW(wideOf(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        start.outcome = FileStart::Outcome::OpenFailed;
        start.error = errnoOf(::GetLastError());
        return start;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        start.outcome = FileStart::Outcome::NotARegularFile;
        return start;
    }
    std::string content(maxBytes, '\0');
    std::size_t got = 0;
    while (got < content.size() && content.find('\n') >= got) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), content.data() + got, static_cast<DWORD>(content.size() - got), &n, nullptr)) {
            start.outcome = FileStart::Outcome::ReadFailed;
            start.error = errnoOf(::GetLastError());
            return start;
        }
        if (n == 0)
            break;
        got += n;
    }
    content.resize(got);
    start.bytes = std::move(content);
    return start;
}

// Replacing names the file itself, never what a reparse point at the target leads to; write-through, so the new name
// is on the disk when the call returns.
int renameReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::MoveFileExW(wideOf(from).c_str(), wideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return errnoOf(::GetLastError());
}

void removeFile(const std::filesystem::path& path)
{
    ::DeleteFileW(wideOf(path).c_str());
}

// Ownership and access lists are not looked at: whether the user may write there shows when the file is written.
bool mayWriteInto(const std::filesystem::path& directory)
{
    return !isSystemDirectory(directory);
}

// The Windows folder and the programs' folders belong to the system and its installers.
bool isSystemDirectory(const std::filesystem::path& directory)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(directory, error);
    std::wstring text = (error ? directory : resolved).native();
    while (!text.empty() && (text.back() == L'\\' || text.back() == L'/'))
        text.pop_back();
    for (wchar_t& c : text)
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    for (const wchar_t* variable : {L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432",
                                    L"ProgramData", L"CommonProgramFiles", L"CommonProgramFiles(x86)"}) {
        const std::wstring folder = folderOf(variable);
        if (!folder.empty() && text.starts_with(folder) &&
            (text.size() == folder.size() || text[folder.size()] == L'\\'))
            return true;
    }
    return false;
}

// A PE image: "MZ", the offset of the PE header at 0x3C, "PE\0\0", then the machine; this program is built for
// x86-64 only.
bool isProgramForThisMachine(std::string_view bytes)
{
    constexpr std::uint16_t kMachineAmd64 = 0x8664;
    if (bytes.size() < 0x40 || !bytes.starts_with("MZ"))
        return false;
    const auto at = [&bytes](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    const std::uint32_t header = at(0x3C) | at(0x3D) << 8 | at(0x3E) << 16 | at(0x3F) << 24;
    if (header > bytes.size() || bytes.size() - header < 6)
        return false;
    if (bytes.substr(header, 4) != std::string_view("PE\0\0", 4))
        return false;
    return (at(header + 4) | at(header + 5) << 8) == kMachineAmd64;
}

} // namespace twinspotter
