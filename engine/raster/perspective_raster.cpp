// The perspective-correct z-buffered rasterizer: 1/z, u/z, v/z interpolated in
// screen space from plane gradients, one division per drawn pixel.
#include "engine/raster/raster.h"

// Routines not written yet: null slots draw nothing.
const RasterDriver raster_driver_perspective = {
    "Software perspective correct and Z-bufferd polygondrawer", RASTER_FLAGS_PERSPECTIVE, {}};
