// The removal of one recorded file on Windows: its folders held so they cannot be swapped, the file opened without
// following a reparse point and checked on that handle, then deleted or renamed through the same handle, so nothing
// can come between the check and the removal.
#include "core/Platform.h"
#include "core/windows/WindowsFileSystem.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <variant>

namespace twinspotter {

namespace {

// The handle of the file to go: DELETE for removing it, shared for reading and deleting only, so nobody writes to it
// while it is checked and moved.
constexpr DWORD kFileShare = FILE_SHARE_READ | FILE_SHARE_DELETE;
constexpr DWORD kSharePinned = FILE_SHARE_READ | FILE_SHARE_WRITE;
// FileDispositionInfoEx and its flags, named by Windows 10's headers only.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;

RemovalResult kept(KeepReason reason, DWORD error)
{
    return RemovalResult::kept(reason, errnoOf(error));
}

// Why a file stayed that Windows refused to open for its removal.
KeepReason refusedRemoval(const RemovalTarget& target)
{
    if (std::holds_alternative<MoveToSafetyDirectory>(target))
        return KeepReason::MoveFailed;
    if (std::holds_alternative<MoveToTrash>(target))
        return KeepReason::TrashFailed;
    return KeepReason::DeleteFailed;
}

// Deletes the file of \p handle: at once and from its folder where the file system allows it (POSIX semantics), else
// when the last handle closes.
bool deleteByHandle(HANDLE handle)
{
    struct
    {
        DWORD flags;
    } ex{kDispositionDelete | kDispositionPosixSemantics};
    if (::SetFileInformationByHandle(handle, kFileDispositionInfoEx, &ex, sizeof ex))
        return true;
    FILE_DISPOSITION_INFO plain{TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &plain, sizeof plain) != 0;
}

// Renames the file of \p handle to \p target, never replacing a file there. The name goes in the system's own form
// ("\??\C:\..."), which every version takes whatever its length; the folders on the way are held by the caller.
bool renameByHandle(HANDLE handle, const PathString& target)
{
    // "\\?\C:\x" and "\\?\UNC\server\x" are "\??\C:\x" and "\??\UNC\server\x" to the system.
    std::wstring name = longSystemPath(target);
    if (!name.starts_with(L"\\\\?\\")) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    name[1] = L'?';
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t);
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]());
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(info->FileName, name.data(), bytes);
    return ::SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(size)) != 0;
}

// Opens the safety directory as the user named it (made when missing), then makes and holds each folder of \p mirrored
// beneath it without following a reparse point: a junction planted there is a failed move, never a way out.
RemovalResult holdMirroredFolder(const PathString& safetyDirectory, const PathString& mirrored,
                                 std::vector<UniqueHandle>& held, PathString& folderPath)
{
    if (safetyDirectory.empty())
        return RemovalResult::kept(KeepReason::MoveFailed, ENOENT);
    const auto open = [](const PathString& path, bool follow) {
        return UniqueHandle(::CreateFileW(
            systemPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kSharePinned, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    };
    UniqueHandle top = open(safetyDirectory, true);
    if (!top) {
        // The safety directory itself is the user's choice, links and all: its missing folders are made by name.
        for (std::size_t at = safetyDirectory.find_first_of(kSeparators, 3); at != PathString::npos;
             at = safetyDirectory.find_first_of(kSeparators, at + 1))
            (void)::CreateDirectoryW(systemPath(safetyDirectory.substr(0, at)).c_str(), nullptr);
        (void)::CreateDirectoryW(systemPath(safetyDirectory).c_str(), nullptr);
        top = open(safetyDirectory, true);
        if (!top)
            return kept(KeepReason::MoveFailed, ::GetLastError());
    }
    held.push_back(std::move(top));
    folderPath = safetyDirectory;
    for (std::size_t start = 0; start < mirrored.size();) {
        std::size_t end = mirrored.find_first_of(kSeparators, start);
        if (end == PathString::npos)
            end = mirrored.size();
        const PathString component = mirrored.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..")
            return RemovalResult::kept(KeepReason::SafetyPathBlocked);
        if (folderPath.empty() || kSeparators.find(folderPath.back()) == std::string_view::npos)
            folderPath.push_back(kSeparator);
        folderPath += component;
        if (!::CreateDirectoryW(systemPath(folderPath).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return kept(KeepReason::MoveFailed, ::GetLastError());
        UniqueHandle folder = open(folderPath, false);
        if (!folder)
            return kept(KeepReason::MoveFailed, ::GetLastError());
        const std::optional<HandleFacts> facts = factsOf(folder.get());
        if (!facts)
            return kept(KeepReason::MoveFailed, ::GetLastError());
        if (!facts->directory || (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return RemovalResult::kept(KeepReason::SafetyPathBlocked);
        held.push_back(std::move(folder));
    }
    if (kSeparators.find(folderPath.back()) == std::string_view::npos)
        folderPath.push_back(kSeparator);
    return RemovalResult::done();
}

// Onto another volume: a copy under a temporary name of its own in the target folder, checked whole, named without
// replacing anything, and only then the original deleted through its handle; otherwise the copy goes again. The file
// cannot be written to meanwhile: its handle shares no writing.
RemovalResult copyThenRemove(HANDLE source, const HandleFacts& facts, const PathString& folderPath,
                             const PathString& name)
{
    static std::atomic<unsigned> counter{0};
    UniqueHandle copy;
    std::wstring temporary;
    for (int attempt = 0; attempt < 100 && !copy; ++attempt) {
        temporary =
            toWide(".twinspotter-copy-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++));
        copy = UniqueHandle(::CreateFileW(systemPath(folderPath + fromWide(temporary)).c_str(),
                                          GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!copy && ::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!copy)
        return kept(KeepReason::CopyFailed, ::GetLastError());
    const auto fail = [&](KeepReason reason, DWORD error) {
        (void)deleteByHandle(copy.get());
        return kept(reason, error);
    };

    constexpr DWORD kBlock = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[kBlock]);
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(source, start, nullptr, FILE_BEGIN))
        return fail(KeepReason::CopyFailed, ::GetLastError());
    std::int64_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source, buffer.get(), kBlock, &got, nullptr))
            return fail(KeepReason::CopyFailed, ::GetLastError());
        if (got == 0)
            break;
        for (DWORD written = 0; written < got;) {
            DWORD n = 0;
            if (!::WriteFile(copy.get(), buffer.get() + written, got - written, &n, nullptr) || n == 0)
                return fail(KeepReason::CopyFailed, ::GetLastError());
            written += n;
        }
        copied += got;
    }
    // The times and attributes the original had; the change time is the copy's own.
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(source, FileBasicInfo, &basic, sizeof basic))
        return fail(KeepReason::CopyFailed, ::GetLastError());
    basic.ChangeTime.QuadPart = 0;
    if (!::SetFileInformationByHandle(copy.get(), FileBasicInfo, &basic, sizeof basic) ||
        !::FlushFileBuffers(copy.get()))
        return fail(KeepReason::CopyFailed, ::GetLastError());
    const std::optional<HandleFacts> after = factsOf(source);
    if (!after || after->stamp != facts.stamp || copied != facts.stamp.size)
        return fail(KeepReason::FileChanged, 0);
    if (!renameByHandle(copy.get(), folderPath + name)) {
        const DWORD error = ::GetLastError();
        return fail(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? KeepReason::TargetTaken
                                                                                : KeepReason::CopyFailed,
                    error);
    }
    // The copy is whole under its name. The original must now go, or the copy is taken back: never two files.
    if (!deleteByHandle(source))
        return fail(KeepReason::SourceNotRemoved, ::GetLastError());
    return RemovalResult::done();
}

// Each target is one function; the request's choice picks it once.
RemovalResult removeTo(const Delete&, const RemovalRequest&, UniqueHandle& file, const HandleFacts&,
                       const ReachedDirectory&)
{
    if (deleteByHandle(file.get()))
        return RemovalResult::done();
    return kept(KeepReason::DeleteFailed, ::GetLastError());
}

RemovalResult removeTo(const MoveToSafetyDirectory& safety, const RemovalRequest& request, UniqueHandle& file,
                       const HandleFacts& facts, const ReachedDirectory& from)
{
    std::vector<UniqueHandle> held;
    PathString folderPath;
    const RemovalResult blocked = holdMirroredFolder(safety.directory, mirroredPart(request.folder), held, folderPath);
    if (blocked.outcome != RemoveOutcome::Removed)
        return blocked;
    const std::optional<FileId> target = identityOf(held.back().get());
    if (target && target == identityOf(from.folder))
        return RemovalResult::kept(KeepReason::SafetyHoldsLocation);
    if (renameByHandle(file.get(), folderPath + request.file.name))
        return RemovalResult::done();
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return RemovalResult::kept(KeepReason::TargetTaken);
    if (error != ERROR_NOT_SAME_DEVICE)
        return kept(KeepReason::MoveFailed, error);
    return copyThenRemove(file.get(), facts, folderPath, request.file.name);
}

// Watches the shell's deletion of the one item: a deletion that would not go to the Recycle Bin (a drive without
// one, a file too large for it) is refused before it happens, and the outcome of the other is kept.
class RecycleOnly : public IFileOperationProgressSink
{
public:
    HRESULT result = E_FAIL;
    bool refused = false;
    bool recycled = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == __uuidof(IFileOperationProgressSink)) {
            *out = static_cast<IFileOperationProgressSink*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack for the one operation.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override
    {
        if (flags & TSF_DELETE_RECYCLE_IF_POSSIBLE)
            return S_OK;
        refused = true;
        return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT hr, IShellItem* inRecycleBin) override
    {
        result = hr;
        recycled = SUCCEEDED(hr) && inRecycleBin != nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};

template <typename T> struct ComRelease
{
    void operator()(T* object) const
    {
        if (object)
            object->Release();
    }
};
template <typename T> using ComPtr = std::unique_ptr<T, ComRelease<T>>;

RemovalResult removeTo(const MoveToTrash&, const RemovalRequest& request, UniqueHandle& file, const HandleFacts&,
                       const ReachedDirectory& from)
{
    // The shell's IFileOperation, never SHFileOperationW: that one deletes for good, silently, a file it cannot
    // recycle. The shell takes the file by its name: the handle goes, its folders stay held so the name still leads
    // to the file that was checked.
    const std::wstring path = toWide(from.path + request.file.name);
    if (path.size() >= MAX_PATH)
        return RemovalResult::kept(KeepReason::TrashFailed, ENAMETOOLONG);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    struct Uninitialize
    {
        bool owned;
        ~Uninitialize()
        {
            if (owned)
                ::CoUninitialize();
        }
    } uninitialize{SUCCEEDED(com)};
    IFileOperation* rawOperation = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&rawOperation))))
        return RemovalResult::kept(KeepReason::NoTrash);
    const ComPtr<IFileOperation> operation(rawOperation);
    IShellItem* rawItem = nullptr;
    if (FAILED(::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_PPV_ARGS(&rawItem))))
        return RemovalResult::kept(KeepReason::TrashFailed, ENOENT);
    const ComPtr<IShellItem> item(rawItem);
    RecycleOnly sink;
    DWORD cookie = 0;
    file.reset();
    if (FAILED(operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NO_UI | FOFX_RECYCLEONDELETE | FOFX_EARLYFAILURE)) ||
        FAILED(operation->Advise(&sink, &cookie)) || FAILED(operation->DeleteItem(item.get(), nullptr)))
        return RemovalResult::kept(KeepReason::NoTrash);
    const HRESULT performed = operation->PerformOperations();
    BOOL aborted = FALSE;
    (void)operation->GetAnyOperationsAborted(&aborted);
    (void)operation->Unadvise(cookie);
    if (sink.refused)
        return RemovalResult::kept(KeepReason::NoTrash);
    if (SUCCEEDED(performed) && !aborted && sink.recycled)
        return RemovalResult::done();
    if (performed == E_NOTIMPL)
        return RemovalResult::kept(KeepReason::NoTrash);
    return RemovalResult::kept(KeepReason::TrashFailed, EIO);
}

} // namespace

RemovalResult removeOnDisk(const RemovalRequest& request)
{
    RemovalCache ownCache;
    RemovalCache& cache = request.cache ? *request.cache : ownCache;
    ReachedDirectory dir;
    const ReachFailure failure = reachRecordedDirectory(request.file.directory, request.locations, cache.folders, dir);
    if (const std::optional<RemovalResult> unreached = unreachedFolderResult(failure, false, errnoOf(dir.error)))
        return *unreached;
    // Reading too for a copy onto another volume; the handle is what is checked and what is removed.
    const bool moving = std::holds_alternative<MoveToSafetyDirectory>(request.target);
    UniqueHandle file = openNoFollow(dir.path + request.file.name,
                                     DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE | (moving ? FILE_READ_DATA : 0),
                                     kFileShare, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return RemovalResult::gone();
        // There, but another program holds it open in a way that forbids removing it.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return kept(refusedRemoval(request.target), error);
        return kept(KeepReason::Unreachable, error);
    }
    const std::optional<HandleFacts> facts = factsOf(file.get());
    if (!facts)
        return kept(KeepReason::Unreachable, ::GetLastError());
    if (!matchesStamp(*facts, request.file.stamp))
        return RemovalResult::kept(KeepReason::FileChanged);

    // The partner may be the last copy left: it must still be there, be what the search found, and be another file.
    ReachedDirectory partnerDir;
    const ReachFailure partnerFailure =
        reachRecordedDirectory(request.partner.directory, request.locations, cache.folders, partnerDir);
    if (const std::optional<RemovalResult> unreached =
            unreachedFolderResult(partnerFailure, true, errnoOf(partnerDir.error)))
        return *unreached;
    const UniqueHandle partner =
        openNoFollow(partnerDir.path + request.partner.name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!partner) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? RemovalResult::kept(KeepReason::PartnerGone)
                   : kept(KeepReason::PartnerUnreachable, error);
    }
    const std::optional<HandleFacts> partnerFacts = factsOf(partner.get());
    if (!partnerFacts)
        return kept(KeepReason::PartnerUnreachable, ::GetLastError());
    if (!matchesStamp(*partnerFacts, request.partner.stamp))
        return RemovalResult::kept(KeepReason::PartnerChanged);
    if (partnerFacts->stamp.id == facts->stamp.id)
        return RemovalResult::kept(KeepReason::PartnerIsSameFile);
    // Another volume with the same file ID, size and times: most likely this very file seen through a share.
    const FileStamp& a = partnerFacts->stamp;
    const FileStamp& b = facts->stamp;
    if (a.id.device != b.id.device && a.id.inode == b.id.inode && a.id.inodeHigh == b.id.inodeHigh &&
        a.size == b.size && a.mtimeNs / 1'000'000'000 == b.mtimeNs / 1'000'000'000)
        return RemovalResult::kept(KeepReason::PartnerMaybeSameFile);

    return std::visit([&](const auto& target) { return removeTo(target, request, file, *facts, dir); }, request.target);
}

} // namespace twinspotter
