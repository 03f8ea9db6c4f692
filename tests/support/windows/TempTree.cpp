// TempTree on Windows: the same trees through the wide Win32 calls, so any name and any length can be made, with
// paths in the form the core lists them (backslashes, UTF-8 of the UTF-16 names), so a test compares what it made
// with what the program shows. "/tmp" stands for the system's temporary folder.
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

// The path as the wide calls take it: "\\?\" before an absolute one, so a test may go past MAX_PATH.
std::filesystem::path wide(const std::string& path)
{
    return std::filesystem::path(systemPath(path));
}

void makeParents(const std::string& path)
{
    std::filesystem::create_directories(wide(path).parent_path());
}

} // namespace

TempTree::TempTree(const std::string& parent)
{
    // The POSIX default names the system's temporary folder.
    std::string base =
        parent == "/tmp" ? fromWide(std::filesystem::temp_directory_path().wstring()) : nativeSeparators(parent);
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    static int counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string candidate =
            base + "twinspotter-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (::CreateDirectoryW(systemPath(candidate).c_str(), nullptr)) {
            m_root = candidate;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("cannot create a temporary directory under " + base);
}

TempTree::~TempTree()
{
    std::error_code ec;
    std::filesystem::remove_all(wide(m_root), ec);
}

std::string TempTree::path(const std::string& relative) const
{
    return relative.empty() ? m_root : m_root + "\\" + nativeSeparators(relative);
}

std::string TempTree::dir(const std::string& relative)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(wide(p));
    return p;
}

std::string TempTree::file(const std::string& relative, std::int64_t size, std::time_t mtime, char fill)
{
    const std::string p = path(relative);
    makeParents(p);
    const UniqueHandle file(
        ::CreateFileW(systemPath(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot create " + p);
    if (size > 0) {
        const std::string content(static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 20)), fill);
        for (std::int64_t done = 0; done < size;) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(size - done, std::int64_t(content.size())));
            DWORD written = 0;
            if (!::WriteFile(file.get(), content.data(), chunk, &written, nullptr) || written != chunk)
                throw std::runtime_error("cannot write " + p);
            done += written;
        }
    }
    if (mtime != 0) {
        const std::int64_t ticks = static_cast<std::int64_t>(mtime) * 10000000 + kEpochOffset;
        const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        ::SetFileTime(file.get(), nullptr, &when, &when);
    }
    return p;
}

std::string TempTree::symlink(const std::string& relative, const std::string& target)
{
    const std::string p = path(relative);
    makeParents(p);
    std::filesystem::create_symlink(wide(nativeSeparators(target)), wide(p));
    return p;
}

std::string TempTree::hardlink(const std::string& relative, const std::string& existingRelative)
{
    const std::string p = path(relative);
    makeParents(p);
    std::filesystem::create_hard_link(wide(path(existingRelative)), wide(p));
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
