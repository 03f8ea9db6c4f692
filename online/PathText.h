// Paths as the online services' texts carry them: UTF-8. On Windows a path's own string() is in the ANSI code page,
// which cannot hold every name a user's folder may have (and throws on one it cannot).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace twinspotter {

/// The path as UTF-8 (on Linux its bytes unchanged).
inline std::string pathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// The path that UTF-8 \p text names (on Linux its bytes unchanged).
inline std::filesystem::path pathOf(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace twinspotter
