// The floor a single thread can reach over the same trees as the search: getdents64 and one fstatat per file, the
// same skip rules (no links followed or listed, no folder beginning with a dot entered), nothing kept.
//   bare_walk DIR...
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct LinuxDirent64
{
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

std::uint64_t g_files = 0;
std::uint64_t g_bytes = 0;

void Walk(int parent, const char* name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    std::vector<std::string> subdirectories;
    alignas(8) char buffer[1 << 16];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* entryName = entry->d_name;
            if (entryName[0] == '.' && (entryName[1] == 0 || (entryName[1] == '.' && entryName[2] == 0)))
                continue;
            if (entry->d_type == DT_DIR) {
                if (entryName[0] != '.')
                    subdirectories.emplace_back(entryName);
                continue;
            }
            if (entry->d_type == DT_LNK)
                continue;
            struct stat st
            {
            };
            if (fstatat(fd, entryName, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
                continue;
            if (S_ISDIR(st.st_mode)) {
                if (entryName[0] != '.')
                    subdirectories.emplace_back(entryName);
                continue;
            }
            ++g_files;
            g_bytes += static_cast<std::uint64_t>(st.st_size);
        }
    }
    for (const std::string& sub : subdirectories)
        Walk(fd, sub.c_str());
    close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        Walk(AT_FDCWD, argv[i]);
    std::printf("files: %llu, bytes: %llu\n", static_cast<unsigned long long>(g_files),
                static_cast<unsigned long long>(g_bytes));
    return 0;
}
