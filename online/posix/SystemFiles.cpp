// The online services' file operations and the updater's checks on Linux: plain system calls, so that every refusal
// names its reason.
#include "online/SystemFiles.h"

#include "online/Updater.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

namespace twinspotter {

namespace {

// Hierarchies that belong to the package manager or the administrator, as the file-system hierarchy standard names
// them; the user's home, /tmp and a build folder are not among them.
constexpr std::string_view kSystemHierarchies[] = {"/usr",    "/bin", "/sbin", "/lib",  "/lib32", "/lib64",
                                                   "/libx32", "/opt", "/etc",  "/boot", "/snap",  "/var/lib"};

// The first bytes of an ELF header that say whether this machine runs it: class, byte order, type and machine.
constexpr std::size_t kElfHeaderBytes = 20;

std::string ownElfHeader()
{
    std::string header(kElfHeaderBytes, '\0');
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ssize_t got = ::read(fd, header.data(), header.size());
    ::close(fd);
    return got == static_cast<ssize_t>(header.size()) ? header : std::string();
}

std::string withoutTrailingSlash(const std::filesystem::path& directory)
{
    std::string text = directory.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

NameHolds whatIsAt(const std::filesystem::path& path)
{
    struct stat status = {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? NameHolds::Nothing : NameHolds::Other;
    return S_ISREG(status.st_mode) ? NameHolds::RegularFile : NameHolds::Other;
}

// O_NONBLOCK: a FIFO would otherwise block the open for good; O_NOFOLLOW: a link to /dev/zero would never end.
FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes)
{
    FileStart start;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        start.outcome = errno == ELOOP ? FileStart::Outcome::NotARegularFile : FileStart::Outcome::OpenFailed;
        start.error = errno;
        return start;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        start.outcome = FileStart::Outcome::NotARegularFile;
        return start;
    }
    std::string content(maxBytes, '\0');
    std::size_t got = 0;
    while (got < content.size() && content.find('\n') >= got) {
        const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            start.outcome = FileStart::Outcome::ReadFailed;
            start.error = errno;
            ::close(fd);
            return start;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    content.resize(got);
    start.bytes = std::move(content);
    return start;
}

int renameReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void removeFile(const std::filesystem::path& path)
{
    ::unlink(path.c_str());
}

bool mayWriteInto(const std::filesystem::path& directory)
{
    if (isSystemDirectory(directory))
        return false;
    struct stat status = {};
    if (::stat(directory.c_str(), &status) != 0)
        return true;
    return status.st_uid == ::geteuid() && ::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool isSystemDirectory(const std::filesystem::path& directory)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(directory, error);
    const std::string text = withoutTrailingSlash(error ? directory : resolved);
    for (const std::string_view hierarchy : kSystemHierarchies)
        if (text.starts_with(hierarchy) && (text.size() == hierarchy.size() || text[hierarchy.size()] == '/'))
            return true;
    return false;
}

bool isProgramForThisMachine(std::string_view bytes)
{
    if (bytes.starts_with("#!"))
        return true;
    static const std::string own = ownElfHeader();
    if (own.empty() || bytes.size() < kElfHeaderBytes || !bytes.starts_with("\177ELF"))
        return false;
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool sameClassAndOrder = bytes.substr(4, 2) == std::string_view(own).substr(4, 2);
    const bool sameMachine = bytes.substr(18, 2) == std::string_view(own).substr(18, 2);
    const unsigned type = at(5) == 2 ? at(16) << 8 | at(17) : at(17) << 8 | at(16);
    constexpr unsigned kExecutable = 2, kSharedObject = 3; // a position-independent program is the latter
    return sameClassAndOrder && sameMachine && (type == kExecutable || type == kSharedObject);
}

} // namespace twinspotter
