// Paths and the core's texts on their way to and from the screen. The core keeps the file system's own bytes; only
// here are they decoded, the way QFile decodes file names, so a path shows as the file manager shows it.
#pragma once

#include "core/FileRecord.h"

#include <QFile>
#include <QString>

#include <string_view>

namespace twinspotter {

/// The bytes of a path, or of any text the core made, as the window shows them.
inline QString displayText(std::string_view bytes)
{
    return QFile::decodeName(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

/// A path the user typed, chose or dropped, as the file system's bytes.
inline PathString toPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

} // namespace twinspotter
