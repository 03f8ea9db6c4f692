// The file-system back end this build was made for: the caches one removal command (RemovalCache) and one content
// reader (DirectoryCache) keep, and the readers behind FileSystem::removeFile and readContent.
#pragma once

#ifdef _WIN32
#include "core/windows/WindowsFileSystem.h"
#else
#include "core/posix/RemoveOnDisk.h"
#endif
