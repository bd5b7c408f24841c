// The fixed-point z-buffered rasterizer (flags 0x94): float edge walking, 16.16
// span routines with a strict depth test, 256 x 256 wrapped textures, additive
// anti-aliased lines.
#include "engine/raster/fixed_zbuffer.h"

#include "engine/raster/raster.h"

const RasterDriver raster_driver_fixed_zbuffer = {
    "ASM-opt zbuffered (256x256 tsize) software polygondrawer",
    RASTER_FLAGS_FIXED_ZBUFFER,
    {},
};
