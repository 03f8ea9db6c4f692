// Everything the window needs from the online services, in one include.
#pragma once

#include "online/OnlineHost.h"
#include "online/OnlineSettings.h"
#include "online/Probe.h"
#include "online/ShownText.h"
#include "online/Updater.h"
#include "online/Waiting.h"
#include "online/WebMessage.h"
#include "online/WebText.h"
