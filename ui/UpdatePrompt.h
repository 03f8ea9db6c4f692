// The update question at start-up: the window's side of the update check.
#pragma once

#include "online/Postponement.h"

#include <functional>

class QString;
class QWidget;

namespace twinspotter {

/// Shown while the update check waits for the server, with an empty text once the wait is over.
using WaitingNotice = std::function<void(const QString& text)>;

/// Runs the update check of every start (runUpdateCheck) with its question asked in a box over \p parent and its
/// waits told to \p waiting.
void runUpdatePrompt(QWidget* parent, const DateTimeSettings& settings, const WaitingNotice& waiting = {});
void runUpdatePrompt(QWidget* parent, const WaitingNotice& waiting = {});

} // namespace twinspotter
