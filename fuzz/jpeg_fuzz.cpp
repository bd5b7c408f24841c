// Fuzz target for the JPEG glue: every input is loaded through the GIO source and
// the recovering error handler; the load may fail but must not crash or leak.
// Inputs whose header asks for a large image are passed over: decoding megapixels
// of nothing only slows the search down, and the loader's size bound is tested.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "engine/image/jpeg.h"
#include "engine/pixmap/pixmap.h"
#include "fuzz/fuzz_file.h"

namespace {

struct QuietError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

// The image size the header declares, from memory; 0 when there is none.
unsigned long declared_pixels(const uint8_t* data, size_t size)
{
    jpeg_decompress_struct cinfo;
    QuietError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<QuietError*>(c->err)->jump, 1); };
    err.pub.output_message = [](j_common_ptr) {};
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    unsigned long pixels = static_cast<unsigned long>(cinfo.image_width) * cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (declared_pixels(data, size) > (1ul << 20)) return 0;
    const char* file = fuzz::write_input(data, size);
    int32_t blocks = fuzz::live_blocks();
    pixmap_destroy(jpeg_load2pixmap(file));
    fuzz::check_no_leak(blocks);
    return 0;
}
