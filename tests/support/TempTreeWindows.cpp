// The test tree on Windows: the same folder per test under the system's temporary folder ("/tmp" stands for it), made
// with the wide calls so any name can be made.
#include "tests/support/TempTree.h"

#include "core/windows/WinText.h"

#include <filesystem>
#include <stdexcept>

namespace twinspotter::test {

namespace {

std::filesystem::path wide(const std::string& path)
{
    return std::filesystem::path(systemPath(path));
}

} // namespace

TempTree::TempTree(const std::string& parent)
{
    std::string base = parent;
    if (parent == "/tmp") {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
        base = fromWide(std::wstring_view(temp, length));
    }
    if (!base.empty() && base.back() != '\\' && base.back() != '/')
        base += '\\';
    static int counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            base + "twinspotter-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (::CreateDirectoryW(systemPath(candidate).c_str(), nullptr)) {
            m_root = candidate;
            return;
        }
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
    return relative.empty() ? m_root : m_root + "\\" + relative;
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
    std::filesystem::create_directories(wide(p).parent_path());
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
        const std::int64_t ticks = (std::int64_t(mtime) + 11'644'473'600) * 10'000'000;
        const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        ::SetFileTime(file.get(), nullptr, &time, &time);
    }
    return p;
}

std::string TempTree::symlink(const std::string& relative, const std::string& target)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(wide(p).parent_path());
    std::filesystem::create_symlink(wide(target), wide(p));
    return p;
}

std::string TempTree::hardlink(const std::string& relative, const std::string& existingRelative)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(wide(p).parent_path());
    std::filesystem::create_hard_link(wide(path(existingRelative)), wide(p));
    return p;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace twinspotter::test
