// Fuzz target for the PCX reader: every input is loaded into a Pixmap; the load
// may fail but must not crash, overrun or leak.
#include "engine/image/pcx.h"
#include "engine/pixmap/pixmap.h"
#include "fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* file = fuzz::write_input(data, size);
    int32_t blocks = fuzz::live_blocks();
    pixmap_destroy(pcx_load2pixmap(file));
    fuzz::check_no_leak(blocks);
    return 0;
}
