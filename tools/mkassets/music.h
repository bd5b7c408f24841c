// The demo's music: an original breakbeat piece written as an XM module, with
// every sample synthesized here. Its arrangement follows the demo's sections.
#pragma once

#include "tools/xm/xm_writer.h"

namespace music {

// Sections of the arrangement, by order.
constexpr int ORDERS = 23;
constexpr int LOOP_ORDER = 20;  // the outro loops from here
constexpr int ROWS = 64;
constexpr int SPEED = 6;
constexpr int BPM = 125;

XmSong compose();

}  // namespace music
