// Fuzz target for the GIF reader: every input goes through the all-frames load
// and the first-image load; neither may crash, overrun or leak.
#include "engine/image/gif.h"
#include "engine/pixmap/pixmap.h"
#include "fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* file = fuzz::write_input(data, size);
    int32_t blocks = fuzz::live_blocks();
    int count = -1;
    Pixmap** frames = gif_load_frames(file, &count);
    if (frames) {
        if (count < 1) std::abort();
        for (int i = 0; i < count; ++i) pixmap_destroy(frames[i]);
        gmem_free(frames);
    }
    pixmap_destroy(gif_load2pixmap(file));
    fuzz::check_no_leak(blocks);
    return 0;
}
