// SPDX-License-Identifier: Zlib
// The flash limit: a record of the backgrounds shown, which tells whether the next
// one would flash more often than is safe for photosensitive players. A flash is
// a pair of opposite transitions; the limit is three flashes, six transitions, in
// any one second (docs/photosensitivity.md).
#pragma once

#include <ctime>

#include "minigame_manager.h"

// Transitions of one kind allowed within a second: three flashes.
constexpr int FLASH_MAX_TRANSITIONS = 6;

// Starts the record afresh from the background shown now.
void flash_limit_reset(color shown);

// Whether showing `c` at tick `now` would make a general or a red transition
// while `limit` of the same kind were already shown within the last second.
bool flash_limit_exceeded(color c, clock_t now, int limit);

// Records `c` as shown from tick `now` on.
void flash_limit_show(color c, clock_t now);
