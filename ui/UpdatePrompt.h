// The update question at start-up: the window's side of the update check.
#pragma once

#include "online/Postponement.h"

#include <functional>

class QString;
class QWidget;

namespace twinspotter {

/// Shown while the update check waits for the server, with an empty text once the wait is over.
using WaitingNotice = std::function<void(const QString& text)>;

class WindowWait;

/// Runs the update check of every start (runUpdateCheck) with its question asked in a box over \p parent, its
/// waits and the download's progress told to \p waiting, and the window serviced through \p wait (one for
/// \p parent when none is given) while it waits.
void runUpdatePrompt(QWidget* parent, const DateTimeSettings& settings, const WaitingNotice& waiting = {},
                     WindowWait* wait = nullptr);
void runUpdatePrompt(QWidget* parent, const WaitingNotice& waiting = {}, WindowWait* wait = nullptr);

} // namespace twinspotter
