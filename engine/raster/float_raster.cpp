// The float rasterizers: edges and spans walked in floating point, triangles
// clipped to the target, textures of any size by normalised coordinates. One
// z-buffered driver (the start value of current_raster_driver), one exact.
#include "engine/raster/raster.h"

// Routines not written yet: null slots draw nothing.
const RasterDriver raster_driver_float_zbuffer = {
    "ZBuffered software polygondrawer, extensive float-usage!", RASTER_FLAGS_FLOAT_ZBUFFER, {}};

const RasterDriver raster_driver_float_exact = {
    "Exakt,non-zbuffered software polgondriver", RASTER_FLAGS_FLOAT_EXACT, {}};
