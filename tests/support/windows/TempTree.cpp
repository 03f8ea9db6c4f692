// TempTree on Windows: the same trees through the Win32 calls, with paths in the form the core lists them
// (backslashes, UTF-8 of the UTF-16 names), so a test compares what it made with what the window shows.
#include "tests/support/TempTree.h"

#include "core/windows/WinText.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace twinspotter::test {

namespace {

// 100 ns units between 1601 and 1970.
constexpr std::int64_t kEpochOffset = 116444736000000000;

std::string nativeSeparators(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void makeParents(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(toWide(path)).parent_path());
}

} // namespace

TempTree::TempTree(const std::string& parent)
{
    // The POSIX default names the system's temporary folder.
    const std::wstring base =
        parent == "/tmp" ? std::filesystem::temp_directory_path().wstring() : toWide(nativeSeparators(parent));
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::wstring dir = base;
        if (!dir.empty() && dir.back() != L'\\')
            dir += L'\\';
        dir += L"twinspotter-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(attempt);
        if (::CreateDirectoryW(dir.c_str(), nullptr)) {
            m_root = fromWide(dir);
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("cannot create a temporary directory under " + parent);
}

TempTree::~TempTree()
{
    std::error_code ec;
    std::filesystem::remove_all(toWide(m_root), ec);
}

std::string TempTree::path(const std::string& relative) const
{
    return relative.empty() ? m_root : m_root + "\\" + nativeSeparators(relative);
}

std::string TempTree::dir(const std::string& relative)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(toWide(p));
    return p;
}

std::string TempTree::file(const std::string& relative, std::int64_t size, std::time_t mtime, char fill)
{
    const std::string p = path(relative);
    makeParents(p);
    UniqueHandle file(
        ::CreateFileW(toWide(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot create " + p);
    if (size > 0 && size <= 1 << 20) {
        const std::string content(static_cast<std::size_t>(size), fill);
        DWORD written = 0;
        if (!::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
            written != content.size())
            throw std::runtime_error("cannot write " + p);
    } else if (size > 0) {
        LARGE_INTEGER end;
        end.QuadPart = size;
        if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
            throw std::runtime_error("cannot size " + p);
    }
    if (mtime != 0) {
        const std::int64_t ticks = static_cast<std::int64_t>(mtime) * 10000000 + kEpochOffset;
        FILETIME when;
        when.dwLowDateTime = static_cast<DWORD>(ticks);
        when.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        ::SetFileTime(file.get(), nullptr, &when, &when);
    }
    return p;
}

std::string TempTree::symlink(const std::string& relative, const std::string& target)
{
    const std::string p = path(relative);
    makeParents(p);
    std::filesystem::create_symlink(toWide(nativeSeparators(target)), toWide(p));
    return p;
}

std::string TempTree::hardlink(const std::string& relative, const std::string& existingRelative)
{
    const std::string p = path(relative);
    makeParents(p);
    if (!::CreateHardLinkW(toWide(p).c_str(), toWide(path(existingRelative)).c_str(), nullptr))
        throw std::runtime_error("cannot link " + p);
    return p;
}

// Through Windows's own time zone, which the core's dates use too; the C library's mktime knows only TZ values of
// the old "CET-1" form.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    SYSTEMTIME utc;
    FILETIME when;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !::SystemTimeToFileTime(&utc, &when))
        throw std::runtime_error("not a local time");
    const std::int64_t ticks = (static_cast<std::int64_t>(when.dwHighDateTime) << 32) | when.dwLowDateTime;
    return static_cast<std::time_t>((ticks - kEpochOffset) / 10000000);
}

} // namespace twinspotter::test
