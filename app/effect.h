// Set-up the textured 3D effects share.
#pragma once

#include "engine/raster/tpoly.h"

struct frustum;

// A new tpoly for the klegg, hairy and knot surfaces: TPOLY_TEXTURED, stride 5,
// six texture coordinates 0, 0, 0, 255, 255, 255 in layer 0, no texture yet.
// Null when it cannot be allocated.
tpoly* effect_textured_poly();

// On a target larger than the view's logical size (a scaled screen), moves the
// projection centre so that the larger picture, averaged back to the logical
// size, lands on the logical-size picture's pixels. Nothing at the logical size.
void effect_align_view(frustum* view);
