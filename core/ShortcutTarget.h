// Resolves shortcut files (Windows ".lnk" shell links, Linux ".desktop" links) to the path they point to.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace twinspotter {

/// What shortcutTarget answers for a name that is not a shortcut; it never reaches the screen.
inline constexpr std::string_view kNotAShortcut = "NOL";

/// Files larger than this are read only up to this size: every structure a target needs lies near the start.
inline constexpr std::size_t kShortcutReadLimit = 1024 * 1024;

/// Target of the shortcut file `fileName` (native bytes). "NOL" when the name's extension is neither ".lnk" nor
/// ".desktop" (any letter case); an empty text when the file cannot be read, is malformed, or names no file-system
/// target. Reads the file only; changes nothing on disk.
/// A ".lnk" target is returned as Windows wrote it ("C:\Users\ann", "\\server\share"), never mapped to a Linux path.
std::string shortcutTarget(const std::string& fileName);

/// Target path of a Shell Link (.lnk) file held in `data`, in UTF-8; the network (UNC) form is preferred when the
/// link carries one. Nothing when the data is truncated or malformed or the link has no file-system target.
std::optional<std::string> parseShellLinkTarget(std::span<const unsigned char> data);

/// Local path of a ".desktop" file of Type=Link whose URL is a file:// URL (percent-decoded); nothing otherwise.
std::optional<std::string> parseDesktopLinkTarget(std::string_view text);

} // namespace twinspotter
