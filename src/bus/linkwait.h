#pragma once

#include "bus/clock.h"

#include <QString>

#include <string>

// What the Qt-based links share.
namespace linkwait {

// Qt's waits take whole milliseconds; a wait that is due now polls once.
int waitMs(Clock::Duration limit);
// Qt's error text as a sentence part: no full stop at the end.
std::string sentence(const QString &text);

} // namespace linkwait
