// The safe edge-table rasterizer: integer vertices scanned into per-row tables,
// bounds-checked flat fills, textures of any size, the only lit-texture driver.
#include "engine/raster/raster.h"

// Routines not written yet: null slots draw nothing.
const RasterDriver raster_driver_safe = {"Software SAFE polygon drawer", RASTER_FLAGS_SAFE, {}};
