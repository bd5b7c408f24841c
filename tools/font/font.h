// The bitmap font now lives below the tools, in app/font.h, where the demo's
// studio overlay reads it too; this path stays for the tools that include it.
#pragma once

#include "app/font.h"
