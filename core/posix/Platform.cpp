// The rules and calls shared code needs that differ on Windows, as they are on Linux.
#include "core/Platform.h"
#include "core/walk.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

namespace twinspotter {

bool isAbsolutePath(const PathString& path)
{
    return !path.empty() && path.front() == kSeparator;
}

PathString lexicallyNormal(const PathString& path)
{
    return std::filesystem::path(path).lexically_normal().native();
}

PathString mirroredPart(const PathString& absolutePath)
{
    return absolutePath;
}

void* threadScratch(ScratchSlot slot, std::size_t size)
{
    struct AlignedFree
    {
        void operator()(void* memory) const { std::free(memory); }
    };
    thread_local std::array<std::unique_ptr<void, AlignedFree>, static_cast<std::size_t>(ScratchSlot::Count)> slots;
    auto& memory = slots[static_cast<std::size_t>(slot)];
    if (!memory)
        memory.reset(std::aligned_alloc(64, (size + 63) / 64 * 64));
    return memory.get();
}

std::string errorText(int error)
{
    return std::strerror(error);
}

bool fillRandom(unsigned char* out, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::getrandom(out + filled, size - filled, 0);
        if (n > 0)
            filled += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            return false;
    }
    return true;
}

std::int32_t dosDateTimeFromUnix(std::int64_t seconds)
{
    std::tm local{};
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (!localtime_r(&t, &local))
        return packDosDateTime(1980, 1, 1, 0, 0, 0);
    return packDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           local.tm_sec);
}

unsigned usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<std::vector<unsigned char>> readFilePrefix(const PathString& fileName, std::size_t limit)
{
    // O_NONBLOCK keeps a FIFO that happens to carry the name from hanging the caller; the type test rejects it.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> result;
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::vector<unsigned char> data(std::min<std::size_t>(limit, static_cast<std::size_t>(st.st_size)));
        std::size_t filled = 0;
        bool failed = false;
        while (filled < data.size()) {
            const ssize_t n = ::read(fd, data.data() + filled, data.size() - filled);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failed = true;
                break;
            }
            if (n == 0)
                break;
            filled += static_cast<std::size_t>(n);
        }
        if (!failed) {
            data.resize(filled);
            result = std::move(data);
        }
    }
    ::close(fd);
    return result;
}

} // namespace twinspotter
