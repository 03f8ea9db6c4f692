// Windows paths at the seam: the core keeps every path as bytes (UTF-8, with WTF-8 for a lone surrogate, so any name
// NTFS can hold survives the round trip) and Windows takes UTF-16; errors are told in the core's errno words.
#pragma once

#include "core/FileRecord.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace twinspotter {

/// UTF-16 of \p text; a three-byte sequence of a lone surrogate (WTF-8) gives that surrogate back.
std::wstring toWide(std::string_view text);
/// UTF-8 of \p text; a lone surrogate becomes its three-byte WTF-8 sequence instead of being replaced.
std::string fromWide(std::wstring_view text);

/// \p path as Windows takes it: unchanged while short, else made absolute in the "\\?\" form that reaches past
/// MAX_PATH.
std::wstring systemPath(const PathString& path);
/// \p path made absolute in the "\\?\" form, however short.
std::wstring longSystemPath(const PathString& path);

/// The errno that says the same as the Windows error \p error (EIO when none does).
int errnoOf(DWORD error);

/// Nanoseconds since 1970 of a Windows time (100 ns units since 1601).
std::int64_t unixNanoseconds(std::int64_t windowsTime);

/// Owns one handle and closes it on every way out.
class UniqueHandle
{
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset();
        m_handle = std::exchange(other.m_handle, nullptr);
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void reset()
    {
        if (m_handle)
            ::CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

} // namespace twinspotter
