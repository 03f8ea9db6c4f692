#include "online/NewFile.h"

#include "core/windows/WinText.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace twinspotter {

// The mode has no meaning here: the new file takes the folder's inherited access list.
NewFile writeNewFileBeside(const std::filesystem::path& target, std::string_view bytes, mode_t /*mode*/,
                           std::string_view suffix)
{
    NewFile result;
    std::filesystem::path& temporary = result.name;
    int& error = result.error;
    UniqueHandle file;
    // A name left by a process that died is someone else's: the next number is tried, never that file replaced.
    // CREATE_NEW fails on any name that exists, a reparse point included, so nothing is followed.
    for (int attempt = 0; !file && attempt < 100; ++attempt) {
        temporary = target.parent_path() / std::filesystem::path(L"." + target.filename().native() + L"." +
                                                                 std::to_wstring(::GetCurrentProcessId()) + L"." +
                                                                 std::to_wstring(attempt) + toWide(suffix));
        file = UniqueHandle(::CreateFileW(systemPath(fromWide(temporary.native())).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD failure = file ? 0 : ::GetLastError();
        error = failure == 0 ? 0 : errnoOf(failure);
        if (failure != 0 && failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!file)
        return result;
    result.created = true;
    std::size_t done = 0;
    while (done < bytes.size() && error == 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD put = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &put, nullptr))
            error = errnoOf(::GetLastError());
        else if (put == 0)
            error = EIO;
        else
            done += put;
    }
    if (error == 0 && !::FlushFileBuffers(file.get()))
        error = errnoOf(::GetLastError());
    file.reset();
    if (error != 0)
        ::DeleteFileW(systemPath(fromWide(temporary.native())).c_str());
    return result;
}

} // namespace twinspotter
