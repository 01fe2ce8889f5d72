// The moment of a level 1 or options update: a FIX UTC stamp when the message has one, else the
// feed's Eastern date and time texts, a missing one of the two taken from the moment already held.
#pragma once

#include "platform/com.h"

class VOKMessage;

// Updates `moment` (a UTC OLE date) from the message; leaves it as it was when the message carries
// no time at all.
void MergeUpdateTime(const VOKMessage& message, DATE& moment);
