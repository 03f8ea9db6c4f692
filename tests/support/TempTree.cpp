#include "tests/support/TempTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace twinspotter::test {

TempTree::TempTree(const std::string& parent)
{
    std::string pattern = parent + "/twinspotter-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("cannot create a temporary directory under " + parent);
    m_root = buffer.data();
}

TempTree::~TempTree()
{
    std::error_code ec;
    std::filesystem::permissions(m_root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_root, ec);
}

std::string TempTree::path(const std::string& relative) const
{
    return relative.empty() ? m_root : m_root + "/" + relative;
}

std::string TempTree::dir(const std::string& relative)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(p);
    return p;
}

std::string TempTree::file(const std::string& relative, std::int64_t size, std::time_t mtime, char fill)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + p);
    if (size > 0 && size <= 1 << 20) {
        const std::string content(static_cast<std::size_t>(size), fill);
        if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
            throw std::runtime_error("cannot write " + p);
    } else if (size > 0 && ftruncate(fd, size) != 0) {
        throw std::runtime_error("cannot size " + p);
    }
    close(fd);
    if (mtime != 0) {
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        utimensat(AT_FDCWD, p.c_str(), times, 0);
    }
    return p;
}

std::string TempTree::symlink(const std::string& relative, const std::string& target)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::filesystem::create_symlink(target, p);
    return p;
}

std::string TempTree::hardlink(const std::string& relative, const std::string& existingRelative)
{
    const std::string p = path(relative);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::filesystem::create_hard_link(path(existingRelative), p);
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
