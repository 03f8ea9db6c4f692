// A fresh directory tree per test, with files of exact sizes and modification times.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace twinspotter::test {

class TempTree
{
public:
    explicit TempTree(const std::string& parent = "/tmp");
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    /// The tree's root, without a trailing separator.
    const std::string& root() const { return m_root; }
    /// root() + "/" + \p relative.
    std::string path(const std::string& relative) const;

    /// Creates the file (and its parent directories) with \p size bytes of \p fill and, when \p mtime is not 0,
    /// that modification time (seconds since the epoch). Returns its full path.
    std::string file(const std::string& relative, std::int64_t size = 0, std::time_t mtime = 0, char fill = 'x');
    std::string dir(const std::string& relative);
    std::string symlink(const std::string& relative, const std::string& target);
    std::string hardlink(const std::string& relative, const std::string& existingRelative);

private:
    std::string m_root;
};

/// Seconds since the epoch of a local date and time, under the process's TZ.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second);

} // namespace twinspotter::test
