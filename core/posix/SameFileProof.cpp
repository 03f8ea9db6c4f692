// Two paths on two devices may still be one file: the proofs that they are not.
#include "core/posix/SameFileProof.h"

#include "core/posix/OnDisk.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace twinspotter {

namespace {

constexpr long kOverlayMagic = 0x794c7630;
constexpr std::string_view kHeldPrefix = ".twinspotter-held-";

bool onOverlay(int dir)
{
    struct statfs fs
    {
    };
    return ::fstatfs(dir, &fs) == 0 && fs.f_type == kOverlayMagic;
}

// Mount options show ',', ' ', tabs, newlines and backslashes as \ooo; an overlay's layer lists escape ':' as "\:".
std::vector<std::string> layerPaths(std::string_view list)
{
    std::vector<std::string> paths(1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const char c = list[i];
        if (c == '\\' && i + 3 < list.size() && list[i + 1] >= '0' && list[i + 1] <= '3') {
            paths.back() += static_cast<char>((list[i + 1] - '0') * 64 + (list[i + 2] - '0') * 8 + (list[i + 3] - '0'));
            i += 3;
        } else if (c == '\\' && i + 1 < list.size()) {
            paths.back() += list[++i];
        } else if (c == ':') {
            paths.emplace_back();
        } else {
            paths.back() += c;
        }
    }
    return paths;
}

// The devices of the layers of the overlay mounted as device \p overlay; false when the mount table cannot tell.
bool overlayLayerDevices(dev_t overlay, std::vector<dev_t>& devices)
{
    std::ifstream table("/proc/self/mountinfo");
    if (!table)
        return false;
    const std::string device = std::to_string(major(overlay)) + ":" + std::to_string(minor(overlay));
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor;
        fields >> id >> parent >> majorMinor;
        const std::size_t dash = line.find(" - ");
        if (majorMinor != device || dash == std::string::npos)
            continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type, source, options;
        tail >> type >> source >> options;
        if (type != "overlay")
            continue;
        bool any = false;
        std::size_t start = 0;
        while (start <= options.size()) {
            std::size_t end = options.find(',', start);
            if (end == std::string::npos)
                end = options.size();
            const std::string_view option(options.data() + start, end - start);
            start = end + 1;
            const std::size_t equals = option.find('=');
            const std::string_view key = option.substr(0, equals);
            if (equals == std::string_view::npos ||
                (key != "lowerdir" && key != "upperdir" && key != "lowerdir+" && key != "datadir+"))
                continue;
            for (const std::string& path : layerPaths(option.substr(equals + 1))) {
                struct stat st
                {
                };
                if (path.empty() || ::stat(path.c_str(), &st) != 0)
                    return false;
                devices.push_back(st.st_dev);
                any = true;
            }
        }
        return any;
    }
    return false;
}

bool sharesWithOverlay(int overlayDir, dev_t overlay, dev_t other)
{
    if (!onOverlay(overlayDir))
        return false;
    std::vector<dev_t> layers;
    if (!overlayLayerDevices(overlay, layers))
        return true;
    for (const dev_t layer : layers)
        if (layer == other)
            return true;
    return false;
}

struct stat fromStatx(const struct statx& sx)
{
    struct stat st
    {
    };
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_mtim = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
    st.st_ctim = {static_cast<time_t>(sx.stx_ctime.tv_sec), static_cast<long>(sx.stx_ctime.tv_nsec)};
    return st;
}

// A rename that never replaces: where the file system cannot promise that, a name with 64 random bits that was just
// seen free stands in for the promise.
int renameHeld(int dir, const char* from, const char* to, const SystemCalls& calls)
{
    if (calls.renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    struct stat st
    {
    };
    if (calls.fstatat(dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return calls.renameat2(dir, from, dir, to, 0);
}

PathString heldName()
{
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != sizeof random)
        random = static_cast<std::uint64_t>(::getpid()) << 32 ^ static_cast<std::uint64_t>(::time(nullptr));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random));
    return PathString(kHeldPrefix) + std::to_string(::getpid()) + "-" + hex;
}

} // namespace

bool overlayMayShare(int fileDir, const struct stat& file, int partnerDir, const struct stat& partner)
{
    return sharesWithOverlay(fileDir, file.st_dev, partner.st_dev) ||
           sharesWithOverlay(partnerDir, partner.st_dev, file.st_dev);
}

RemovalResult proveDistinct(int dir, const PathString& name, const struct stat& file, int partnerDir,
                            const RecordedFile& partner, HeldFile& held, const SystemCalls& calls)
{
    held.name = heldName();
    if (renameHeld(dir, name.c_str(), held.name.c_str(), calls) != 0) {
        const int error = errno;
        held.name.clear();
        if (error == ENOENT)
            return {RemoveOutcome::Gone, KeepReason::None, 0};
        return RemovalResult::kept(KeepReason::DistinctnessUnproven, error);
    }
    RemovalResult result{RemoveOutcome::Removed, KeepReason::None, 0};
    struct statx sx
    {
    };
    if (::statx(partnerDir, partner.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &sx) !=
        0) {
        // The partner went away with the copy's name: it was the copy.
        result = errno == ENOENT || errno == ENOTDIR || errno == ESTALE
                     ? RemovalResult::kept(KeepReason::PartnerMaybeSameFile)
                     : RemovalResult::kept(KeepReason::PartnerUnreachable, errno);
    } else if (!matchesStamp(fromStatx(sx), partner.stamp)) {
        result = RemovalResult::kept(KeepReason::PartnerChanged);
    } else if (calls.fstatat(dir, held.name.c_str(), &held.st, AT_SYMLINK_NOFOLLOW) != 0 ||
               held.st.st_dev != file.st_dev || held.st.st_ino != file.st_ino) {
        result = RemovalResult::kept(KeepReason::FileChanged);
    }
    if (result.outcome == RemoveOutcome::StillPresent)
        releaseHeldFile(dir, name, held, result, calls);
    return result;
}

void releaseHeldFile(int dir, const PathString& name, HeldFile& held, RemovalResult& result, const SystemCalls& calls)
{
    if (held.name.empty())
        return;
    if (renameHeld(dir, held.name.c_str(), name.c_str(), calls) != 0)
        result = RemovalResult::kept(KeepReason::LeftUnderHeldName, errno);
    held.name.clear();
}

} // namespace twinspotter
