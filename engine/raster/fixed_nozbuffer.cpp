// The fixed-point rasterizer without z-buffer: the exact driver's float edges
// and clipping with a 16.16 texture span over 256 x 256 wrapped textures.
#include "engine/raster/raster.h"

// Routines not written yet: null slots draw nothing.
const RasterDriver raster_driver_fixed_nozbuffer = {
    "ASM-opt non-zbuffered (256x256 tsize) software polygondrawer", RASTER_FLAGS_FIXED_NOZBUFFER, {}};
