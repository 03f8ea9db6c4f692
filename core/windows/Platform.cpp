// The rules and calls shared code needs that differ on Linux, as they are on Windows.
#include "core/Platform.h"
#include "core/walk.h"
#include "core/windows/WinText.h"

#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace twinspotter {

namespace {

bool isDriveLetterPath(const PathString& path)
{
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

bool isAbsolutePath(const PathString& path)
{
    // "C:\x", or "\\server\share\x"; "C:x" and "\x" depend on the working directory's drive.
    return (isDriveLetterPath(path) && path.size() >= 3 && isSeparator(path[2])) ||
           (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]));
}

PathString lexicallyNormal(const PathString& path)
{
    return fromWide(std::filesystem::path(toWide(path)).lexically_normal().native());
}

PathString mirroredPart(const PathString& absolutePath)
{
    // "D:\photos\a.jpg" mirrors as "\photos\a.jpg"; a share's "\\server\share\a.jpg" as "\server\share\a.jpg".
    if (isDriveLetterPath(absolutePath))
        return absolutePath.substr(2);
    if (absolutePath.size() >= 2 && isSeparator(absolutePath[0]) && isSeparator(absolutePath[1]))
        return absolutePath.substr(1);
    return absolutePath;
}

void* threadScratch(ScratchSlot slot, std::size_t size)
{
    // A fiber-local slot's callback frees the memory as its thread ends, with no C++ thread storage involved.
    static const std::array<DWORD, static_cast<std::size_t>(ScratchSlot::Count)> slots = [] {
        std::array<DWORD, static_cast<std::size_t>(ScratchSlot::Count)> made{};
        for (DWORD& index : made)
            index = ::FlsAlloc([](void* memory) { _aligned_free(memory); });
        return made;
    }();
    const DWORD index = slots[static_cast<std::size_t>(slot)];
    if (index == FLS_OUT_OF_INDEXES)
        return nullptr;
    void* memory = ::FlsGetValue(index);
    if (!memory) {
        memory = _aligned_malloc(size, 64);
        if (memory && !::FlsSetValue(index, memory)) {
            _aligned_free(memory);
            memory = nullptr;
        }
    }
    return memory;
}

std::string errorText(int error)
{
    // A sharing violation is EBUSY here, which the C runtime calls "Resource device".
    if (error == EBUSY)
        return "it is open in another program";
    return std::strerror(error);
}

bool fillRandom(unsigned char* out, std::size_t size)
{
    return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::int32_t dosDateTimeFromUnix(std::int64_t seconds)
{
    // As Windows shows a time: the local time of now's time-zone offset, then packed by the system.
    constexpr std::int64_t kEpochDifference = 11'644'473'600; // 1601 to 1970 in seconds
    const std::int64_t ticks = (seconds + kEpochDifference) * 10'000'000;
    if (ticks < 0)
        return packDosDateTime(1980, 1, 1, 0, 0, 0);
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME local{};
    WORD date = 0;
    WORD time = 0;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time)) {
        // Outside the packed format's years.
        SYSTEMTIME shown{};
        if (::FileTimeToSystemTime(&local, &shown))
            return packDosDateTime(shown.wYear, shown.wMonth, shown.wDay, shown.wHour, shown.wMinute, shown.wSecond);
        return packDosDateTime(seconds < 0 ? 1979 : 2108, 1, 1, 0, 0, 0);
    }
    return static_cast<std::int32_t>(std::uint32_t(date) << 16 | time);
}

unsigned usableCores()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<std::vector<unsigned char>> readFilePrefix(const PathString& fileName, std::size_t limit)
{
    const UniqueHandle file(::CreateFileW(systemPath(fileName).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK)
        return std::nullopt;
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) || standard.Directory)
        return std::nullopt;
    std::vector<unsigned char> data(
        std::min<std::size_t>(limit, static_cast<std::size_t>(standard.EndOfFile.QuadPart)));
    std::size_t filled = 0;
    while (filled < data.size()) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), data.data() + filled, static_cast<DWORD>(data.size() - filled), &n, nullptr))
            return std::nullopt;
        if (n == 0)
            break;
        filled += n;
    }
    data.resize(filled);
    return data;
}

} // namespace twinspotter
