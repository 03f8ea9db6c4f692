// The file-system seam on Linux: POSIX calls, no path re-encoding, symbolic links never followed below a location.
#pragma once

#include "core/FileSystem.h"
#include "core/posix/SystemCalls.h"

namespace twinspotter {

class RealFileSystem : public FileSystem
{
public:
    /// \p calls are the calls that change the disk; tests hand in the kernel's with one of them replaced.
    explicit RealFileSystem(SystemCalls calls = SystemCalls::kernel()) : m_calls(std::move(calls)) {}

    bool listDirectory(const PathString& dir, std::vector<DirEntry>& out) override;
    bool listSubdirectory(const OpenedDirectory* parent, std::string_view name, const PathString& dir,
                          std::vector<DirEntry>& out, std::shared_ptr<OpenedDirectory>* keep) override;
    bool exists(const PathString& path) override;
    std::optional<FileId> directoryIdentity(const PathString& path) override;
    PathString resolvedPath(const PathString& path) override;
    bool isDirectory(const PathString& path) override;
    bool createDirectory(const PathString& path) override;
    PathString currentDirectory() override;
    RemovalResult removeFile(const RemovalRequest& request) override;
    ContentDigest readContent(const ContentRequest& request) override;

private:
    SystemCalls m_calls;
};

} // namespace twinspotter
