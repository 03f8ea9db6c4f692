// The removal of one recorded file: every check that it may go, then the one place the user chose for it.
#pragma once

#include "core/Removal.h"
#include "core/posix/OnDisk.h"
#include "core/posix/SystemCalls.h"
#include "core/posix/Trash.h"

namespace twinspotter {

/// What one removal command has reached, kept for the files that follow: checked folders and opened Trash folders.
class RemovalCache
{
public:
    DirectoryCache folders;
    TrashDirectories trashes;
};

/// The removal behind FileSystem::removeFile: the request's file goes to its target only while it and its partner are
/// still the files the search recorded, two different files (proven on the disk when they lie on two devices), both
/// reached without a link below their location.
RemovalResult removeOnDisk(const RemovalRequest& request, const SystemCalls& calls);

} // namespace twinspotter
