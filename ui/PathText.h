// Paths and the core's texts on their way to and from the screen. The core keeps the file system's own bytes; only
// here are they decoded, the way the platform's file names are, so a path shows as the file manager shows it. Each
// platform defines these beside its Desktop.cpp.
#pragma once

#include "core/FileRecord.h"

#include <QString>

#include <string_view>

namespace twinspotter {

/// The bytes of a path, or of any text the core made, as the window shows them.
QString displayText(std::string_view bytes);

/// A path the user typed, chose or dropped, as the file system's bytes.
PathString toPath(const QString& text);

} // namespace twinspotter
