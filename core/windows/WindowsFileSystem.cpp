// The file-system seam on Windows: listings, identities and the reaching of recorded folders.
#include "core/windows/WindowsFileSystem.h"

#include "core/ContentCompare.h"
#include "core/Platform.h"

#include <atomic>
#include <cstring>
#include <new>

namespace twinspotter {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder held this way can be read and written in, but not renamed, moved or deleted while the handle lives.
constexpr DWORD kSharePinned = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Bytes asked of each directory call: many entries per call, as FIND_FIRST_EX_LARGE_FETCH asks of FindFirstFileExW.
constexpr DWORD kListingBuffer = 64 * 1024;

// Windows 8 lists 128-bit file IDs (FileIdExtdDirectoryInfo); older systems and Wine only the 64-bit ones.
std::atomic<bool> g_extendedListing{true};

// Someone's listing reached this directory without following a reparse point, so its subdirectories are opened
// without following one either.
class ReachedByWalk : public OpenedDirectory
{
};

std::int64_t windowsTime(const LARGE_INTEGER& t)
{
    return t.QuadPart;
}

void fillEntry(DirEntry& entry, std::wstring_view name, DWORD attributes, const LARGE_INTEGER& size,
               const LARGE_INTEGER& lastWrite, const LARGE_INTEGER& change, std::uint64_t volume, std::uint64_t idLow,
               std::uint64_t idHigh)
{
    entry.name = fromWide(name);
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (entry.isDirectory) {
        entry.size = entry.mtime = entry.ctimeNs = 0;
        entry.mtimeNsec = 0;
        entry.id = {};
        return;
    }
    const std::int64_t mtimeNs = unixNanoseconds(windowsTime(lastWrite));
    entry.size = size.QuadPart;
    entry.mtime = mtimeNs >= 0 ? mtimeNs / 1'000'000'000 : -((-mtimeNs + 999'999'999) / 1'000'000'000);
    entry.mtimeNsec = static_cast<std::int32_t>(mtimeNs - entry.mtime * 1'000'000'000);
    entry.ctimeNs = unixNanoseconds(windowsTime(change));
    entry.id = FileId{volume, idLow, idHigh};
}

// Reparse points (junctions, symbolic links, cloud placeholders) are links here, and device entries no files: neither
// is listed.
bool listed(std::wstring_view name, DWORD attributes)
{
    if (name == L"." || name == L"..")
        return false;
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Reads the open directory \p handle into \p out, reusing its entries' buffers. True when a subdirectory was among
// them.
bool readEntries(HANDLE handle, std::uint64_t volume, std::vector<DirEntry>& out)
{
    char* const buffer = static_cast<char*>(threadScratch(ScratchSlot::ListingBuffer, kListingBuffer));
    if (!buffer)
        throw std::bad_alloc();
    std::size_t used = 0;
    bool subdirectories = false;
    const auto next = [&]() -> DirEntry& {
        if (used == out.size())
            out.emplace_back();
        return out[used++];
    };
    bool extended = g_extendedListing.load(std::memory_order_relaxed);
    for (bool first = true;; first = false) {
        const FILE_INFO_BY_HANDLE_CLASS kind = extended
                                                   ? (first ? FileIdExtdDirectoryRestartInfo : FileIdExtdDirectoryInfo)
                                                   : (first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo);
        if (!::GetFileInformationByHandleEx(handle, kind, buffer, kListingBuffer)) {
            const DWORD error = ::GetLastError();
            if (first && extended &&
                (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_LEVEL)) {
                g_extendedListing = extended = false;
                if (!::GetFileInformationByHandleEx(handle, FileIdBothDirectoryRestartInfo, buffer, kListingBuffer))
                    break;
            } else {
                // ERROR_NO_MORE_FILES, or an error part-way, which ends the listing with what it read.
                break;
            }
        }
        for (std::size_t at = 0;;) {
            const char* record = buffer + at;
            DWORD nextOffset = 0;
            if (extended) {
                FILE_ID_EXTD_DIR_INFO info;
                std::memcpy(&info, record, offsetof(FILE_ID_EXTD_DIR_INFO, FileName));
                const std::wstring_view name(
                    reinterpret_cast<const wchar_t*>(record + offsetof(FILE_ID_EXTD_DIR_INFO, FileName)),
                    info.FileNameLength / sizeof(wchar_t));
                if (listed(name, info.FileAttributes)) {
                    std::uint64_t low = 0;
                    std::uint64_t high = 0;
                    std::memcpy(&low, info.FileId.Identifier, 8);
                    std::memcpy(&high, info.FileId.Identifier + 8, 8);
                    fillEntry(next(), name, info.FileAttributes, info.EndOfFile, info.LastWriteTime, info.ChangeTime,
                              volume, low, high);
                    subdirectories = subdirectories || (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
                }
                nextOffset = info.NextEntryOffset;
            } else {
                FILE_ID_BOTH_DIR_INFO info;
                std::memcpy(&info, record, offsetof(FILE_ID_BOTH_DIR_INFO, FileName));
                const std::wstring_view name(
                    reinterpret_cast<const wchar_t*>(record + offsetof(FILE_ID_BOTH_DIR_INFO, FileName)),
                    info.FileNameLength / sizeof(wchar_t));
                if (listed(name, info.FileAttributes)) {
                    fillEntry(next(), name, info.FileAttributes, info.EndOfFile, info.LastWriteTime, info.ChangeTime,
                              volume, static_cast<std::uint64_t>(info.FileId.QuadPart), 0);
                    subdirectories = subdirectories || (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
                }
                nextOffset = info.NextEntryOffset;
            }
            if (nextOffset == 0)
                break;
            at += nextOffset;
        }
    }
    out.resize(used);
    return subdirectories;
}

UniqueHandle openDirectory(const PathString& path, bool followReparsePoint, DWORD share)
{
    return UniqueHandle(::CreateFileW(
        systemPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (followReparsePoint ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
}

ReachFailure failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return ReachFailure::Missing;
    default:
        return ReachFailure::Error;
    }
}

} // namespace

std::optional<FileId> identityOf(HANDLE handle)
{
    FILE_ID_INFO id{};
    if (::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, id.FileId.Identifier, 8);
        std::memcpy(&high, id.FileId.Identifier + 8, 8);
        return FileId{id.VolumeSerialNumber, low, high};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow, 0};
}

std::optional<HandleFacts> factsOf(HANDLE handle)
{
    const std::optional<FileId> id = identityOf(handle);
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!id || !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard))
        return std::nullopt;
    HandleFacts facts;
    facts.stamp = FileStamp{*id, standard.EndOfFile.QuadPart, unixNanoseconds(basic.LastWriteTime.QuadPart),
                            unixNanoseconds(basic.ChangeTime.QuadPart)};
    facts.attributes = basic.FileAttributes;
    facts.directory = standard.Directory != 0;
    return facts;
}

bool matchesStamp(const HandleFacts& facts, const FileStamp& stamp)
{
    return stamp.recorded() && !facts.directory && !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           facts.stamp == stamp;
}

UniqueHandle openNoFollow(const PathString& path, DWORD access, DWORD share, DWORD flags)
{
    return UniqueHandle(::CreateFileW(systemPath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

HANDLE DirectoryCache::findLocation(const LocationRoot& location) const
{
    for (const auto& [known, handle] : m_locations)
        if (known == &location)
            return handle.get();
    return nullptr;
}

void DirectoryCache::keepLocation(const LocationRoot& location, UniqueHandle handle)
{
    m_locations.emplace_back(&location, std::move(handle));
}

ReachFailure reachRecordedDirectory(const PathString& directory, std::span<const LocationRoot> locations,
                                    DirectoryCache& cache, ReachedDirectory& reached)
{
    reached.held.clear();
    reached.folder = nullptr;
    reached.path = directory;
    const LocationRoot* root = nullptr;
    for (const LocationRoot& location : locations)
        if (!location.directory.empty() && directory.starts_with(location.directory) &&
            (!root || location.directory.size() > root->directory.size()))
            root = &location;

    // Each folder is held as it is checked, so the next one is looked for in the very folder that was checked. Its
    // attributes say enough; its identity (the volume's serial number, slow to ask for under Wine) is asked only of
    // the location.
    const auto hold = [&](const PathString& path) -> ReachFailure {
        UniqueHandle handle = openDirectory(path, false, kSharePinned);
        FILE_BASIC_INFO basic{};
        FILE_STANDARD_INFO standard{};
        if (!handle || !::GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof basic) ||
            !::GetFileInformationByHandleEx(handle.get(), FileStandardInfo, &standard, sizeof standard)) {
            reached.error = ::GetLastError();
            return handle ? ReachFailure::Error : failureOf(reached.error);
        }
        if (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ReachFailure::Link;
        if (!standard.Directory)
            return ReachFailure::Missing;
        reached.folder = handle.get();
        reached.held.push_back(std::move(handle));
        return ReachFailure::None;
    };

    if (!root)
        return hold(directory);
    // The location as the user named it: a link the user typed is the user's choice.
    reached.folder = cache.findLocation(*root);
    if (!reached.folder) {
        UniqueHandle location = openDirectory(root->directory, true, kSharePinned);
        if (!location) {
            reached.error = ::GetLastError();
            return failureOf(reached.error);
        }
        const std::optional<FileId> id = identityOf(location.get());
        if (!id) {
            reached.error = ::GetLastError();
            return ReachFailure::Error;
        }
        if (*id != root->id)
            return ReachFailure::LocationReplaced;
        reached.folder = location.get();
        cache.keepLocation(*root, std::move(location));
    }
    PathString path = root->directory;
    const std::string_view below = std::string_view(directory).substr(root->directory.size());
    for (std::size_t start = 0; start < below.size();) {
        std::size_t end = below.find_first_of(kSeparators, start);
        if (end == std::string_view::npos)
            end = below.size();
        if (end > start) {
            path.append(below.substr(start, end - start));
            path.push_back(kSeparator);
            if (const ReachFailure failure = hold(path); failure != ReachFailure::None)
                return failure;
        }
        start = end + 1;
    }
    return ReachFailure::None;
}

bool WindowsFileSystem::listDirectory(const PathString& dir, std::vector<DirEntry>& out)
{
    return listSubdirectory(nullptr, {}, dir, out, nullptr);
}

bool WindowsFileSystem::listSubdirectory(const OpenedDirectory* parent, std::string_view /*name*/,
                                         const PathString& dir, std::vector<DirEntry>& out,
                                         std::shared_ptr<OpenedDirectory>* keep)
{
    // The location itself as the user named it, links and all; a folder below it never through a reparse point that
    // was swapped in since its parent was listed.
    const bool below = parent != nullptr;
    UniqueHandle handle = openDirectory(dir, !below, kShareAll);
    std::optional<HandleFacts> facts;
    if (handle)
        facts = factsOf(handle.get());
    if (!facts || !facts->directory || (below && (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        out.clear();
        return false;
    }
    const bool subdirectories = readEntries(handle.get(), facts->stamp.id.device, out);
    if (keep && subdirectories)
        *keep = std::make_shared<ReachedByWalk>();
    return true;
}

bool WindowsFileSystem::exists(const PathString& path)
{
    return ::GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<FileId> WindowsFileSystem::directoryIdentity(const PathString& path)
{
    const UniqueHandle handle = openDirectory(path, true, kShareAll);
    if (!handle)
        return std::nullopt;
    const std::optional<HandleFacts> facts = factsOf(handle.get());
    if (!facts || !facts->directory)
        return std::nullopt;
    return facts->stamp.id;
}

PathString WindowsFileSystem::resolvedPath(const PathString& path)
{
    const UniqueHandle handle = openDirectory(path, true, kShareAll);
    if (!handle)
        return {};
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = ::GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()),
                                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (got == 0)
            return {};
        if (got < final.size()) {
            final.resize(got);
            break;
        }
        final.resize(got + 1);
    }
    if (final.starts_with(L"\\\\?\\UNC\\"))
        final = L"\\\\" + final.substr(8);
    else if (final.starts_with(L"\\\\?\\"))
        final = final.substr(4);
    return fromWide(final);
}

bool WindowsFileSystem::isDirectory(const PathString& path)
{
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WindowsFileSystem::createDirectory(const PathString& path)
{
    return ::CreateDirectoryW(systemPath(path).c_str(), nullptr) != 0;
}

PathString WindowsFileSystem::currentDirectory()
{
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring cwd(needed, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(needed, cwd.data());
    if (got == 0 || got >= needed)
        return {};
    cwd.resize(got);
    return fromWide(cwd);
}

RemovalResult WindowsFileSystem::removeFile(const RemovalRequest& request)
{
    return removeOnDisk(request);
}

ContentDigest WindowsFileSystem::readContent(const ContentRequest& request)
{
    return readContentOnDisk(request);
}

FileSystem& realFileSystem()
{
    static WindowsFileSystem fs;
    return fs;
}

} // namespace twinspotter
