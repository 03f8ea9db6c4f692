// Reading a file for its content on Windows: reached through held folders, opened without following a reparse point
// with FILE_FLAG_SEQUENTIAL_SCAN and shared for reading only, so nobody writes to it while it is read; checked against
// its stamp on that handle before and after.
#include "core/ContentCompare.h"
#include "core/windows/WindowsFileSystem.h"

namespace twinspotter {

namespace {

ContentDigest outcome(ContentStatus status, DWORD error = 0)
{
    return ContentDigest{status, error == 0 ? 0 : errnoOf(error), 0, 0};
}

// Reads up to \p size bytes; false on an error, with \p got what arrived.
bool readSome(HANDLE file, char* buffer, DWORD size, DWORD& got)
{
    got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer + got, size - got, &n, nullptr))
            return false;
        if (n == 0)
            break;
        got += n;
    }
    return true;
}

} // namespace

ContentDigest readContentOnDisk(const ContentRequest& request)
{
    DirectoryCache ownCache;
    ReachedDirectory dir;
    switch (reachRecordedDirectory(request.file.directory, request.locations, request.cache ? *request.cache : ownCache,
                                   dir)) {
    case ReachFailure::None:
        break;
    case ReachFailure::Error:
        return outcome(ContentStatus::Unreadable, dir.error);
    default:
        return outcome(ContentStatus::Changed);
    }
    const FileStamp& stamp = request.file.stamp;
    const UniqueHandle file = openNoFollow(dir.path + request.file.name, GENERIC_READ | SYNCHRONIZE, FILE_SHARE_READ,
                                           FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? outcome(ContentStatus::Changed)
                   : outcome(ContentStatus::Unreadable, error);
    }
    const std::optional<HandleFacts> facts = factsOf(file.get());
    if (!facts)
        return outcome(ContentStatus::Unreadable, ::GetLastError());
    if (!matchesStamp(*facts, stamp))
        return outcome(ContentStatus::Changed);

    ChunkDigester digester(request);
    char* const buffer = ChunkDigester::buffer();
    if (!digester.ready() || !buffer)
        return outcome(ContentStatus::Unreadable, ERROR_NOT_ENOUGH_MEMORY);
    const auto size = static_cast<std::uint64_t>(facts->stamp.size);
    for (std::uint64_t offset = 0; offset < size;) {
        const auto length = static_cast<DWORD>(std::min(kContentChunk, size - offset));
        DWORD got = 0;
        if (!readSome(file.get(), buffer, length, got))
            return outcome(ContentStatus::Unreadable, ::GetLastError());
        if (got < length)
            return outcome(ContentStatus::Changed);
        if (!digester.addData(buffer, length))
            return outcome(ContentStatus::Stopped);
        offset += length;
    }
    // A file that holds more than its size says is not the file that was listed.
    DWORD beyond = 0;
    if (!readSome(file.get(), buffer, 1, beyond))
        return outcome(ContentStatus::Unreadable, ::GetLastError());
    if (beyond != 0)
        return outcome(ContentStatus::Changed);
    // The handle's file is the one checked; only its size and times can have moved (its identity, slow to ask for under
    // Wine, cannot).
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) ||
        standard.EndOfFile.QuadPart != stamp.size || unixNanoseconds(basic.LastWriteTime.QuadPart) != stamp.mtimeNs ||
        unixNanoseconds(basic.ChangeTime.QuadPart) != stamp.ctimeNs)
        return outcome(ContentStatus::Changed);
    return digester.digest();
}

} // namespace twinspotter
