// libFuzzer target: both shortcut parsers on arbitrary bytes must never read out of bounds or produce a bad path.
#include "core/ShortcutTarget.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// The .lnk parser converts every string it reads, so anything it returns must be well-formed UTF-8.
bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto link = twinspotter::parseShellLinkTarget({data, size});
    if (link && (link->empty() || link->find('\0') != std::string::npos || !isValidUtf8(*link)))
        std::abort();

    const auto desktop = twinspotter::parseDesktopLinkTarget({reinterpret_cast<const char*>(data), size});
    if (desktop && (desktop->empty() || desktop->front() != '/' || desktop->find('\0') != std::string::npos))
        std::abort();
    return 0;
}
