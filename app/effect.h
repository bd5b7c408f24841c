// Set-up the textured 3D effects share.
#pragma once

#include "engine/geometry/tpoly.h"

// A new tpoly for the klegg, hairy and knot surfaces: TPOLY_TEXTURED, stride 5,
// six texture coordinates 0, 0, 0, 255, 255, 255 in layer 0, no texture yet.
// Null when it cannot be allocated.
tpoly* effect_textured_poly();
