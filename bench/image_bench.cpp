// Image loader speed beside baselines run in the same program: GIF decode against
// giflib's DGifSlurp of the same file, PCX decode against reading the file's
// bytes, JPEG load through GIO against a plain decode by the library from memory.
#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <unistd.h>

#include "engine/image/gif.h"
#include "engine/image/jpeg.h"
#include "engine/image/pcx.h"
#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

namespace {

std::string bench_dir()
{
    static const std::string dir = [] {
        std::string d = std::string(TAVIK_BINARY_DIR) + "/bench-images";
        std::system(("mkdir -p '" + d + "'").c_str());
        return d;
    }();
    return dir;
}

// A fixture made once by ImageMagick: a plasma picture of the given size.
std::string fixture(const std::string& name, int w, int h, const std::string& args)
{
    std::string path = bench_dir() + "/" + name;
    if (access(path.c_str(), R_OK) != 0) {
        std::string cmd = "convert -seed 11 -size " + std::to_string(w) + "x" + std::to_string(h) +
                          " plasma:fractal " + args + " '" + path + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "cannot make %s (is ImageMagick installed?)\n", path.c_str());
            std::exit(1);
        }
    }
    return path;
}

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string gif_file(int side) { return side == 320 ? fixture("320x240.gif", 320, 240, "-colors 256")
                                                    : fixture("1024x1024.gif", 1024, 1024, "-colors 256"); }

void BM_GifLoad(benchmark::State& state)
{
    std::string file = gif_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Pixmap* p = gif_load2pixmap(file.c_str());
        if (!p) state.SkipWithError(gif_error_string());
        benchmark::DoNotOptimize(p);
        pixmap_destroy(p);
    }
}
BENCHMARK(BM_GifLoad)->Arg(320)->Arg(1024)->Unit(benchmark::kMicrosecond);

// giflib decodes to indices only; our load also builds the 32-bit Pixmap.
void BM_GiflibSlurp(benchmark::State& state)
{
    std::string file = gif_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int error = 0;
        GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
}
BENCHMARK(BM_GiflibSlurp)->Arg(320)->Arg(1024)->Unit(benchmark::kMicrosecond);

std::string pcx_file(int planes)
{
    return planes == 1 ? fixture("320x240-palette.pcx", 320, 240, "-colors 256 -type Palette")
                       : fixture("320x240-rgb.pcx", 320, 240, "-type TrueColor");
}

void BM_PcxLoad(benchmark::State& state)
{
    std::string file = pcx_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Pixmap* p = pcx_load2pixmap(file.c_str());
        if (!p) state.SkipWithError(pcx_error_string());
        benchmark::DoNotOptimize(p);
        pixmap_destroy(p);
    }
}
BENCHMARK(BM_PcxLoad)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

// Baseline: only reading the same file's bytes through GIO.
void BM_PcxReadBytes(benchmark::State& state)
{
    std::string file = pcx_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int32_t size = 0;
        void* bytes = gio_read_file(file.c_str(), &size);
        benchmark::DoNotOptimize(bytes);
        gmem_free(bytes);
    }
}
BENCHMARK(BM_PcxReadBytes)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

std::string jpeg_file(int side)
{
    return side == 256 ? fixture("256x256.jpg", 256, 256, "-quality 90")
                       : fixture("1024x1024.jpg", 1024, 1024, "-quality 90");
}

void BM_JpegLoad(benchmark::State& state)
{
    std::string file = jpeg_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Pixmap* p = jpeg_load2pixmap(file.c_str());
        if (!p) state.SkipWithError(jpeg_error_string());
        benchmark::DoNotOptimize(p);
        pixmap_destroy(p);
    }
}
BENCHMARK(BM_JpegLoad)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

struct PlainError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

// Baseline: the library alone, from bytes already in memory, into an RGB buffer.
void BM_JpegPlainFromMemory(benchmark::State& state)
{
    std::vector<uint8_t> data = file_bytes(jpeg_file(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        PlainError err;
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<PlainError*>(c->err)->jump, 1); };
        if (setjmp(err.jump)) {
            jpeg_destroy_decompress(&cinfo);
            state.SkipWithError("libjpeg failed");
            break;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        std::vector<uint8_t> rgb(static_cast<size_t>(cinfo.output_width) * cinfo.output_height * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = rgb.data() + static_cast<size_t>(cinfo.output_scanline) * cinfo.output_width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_JpegPlainFromMemory)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

// The same decode from memory into a Pixmap made as the loader makes it (flags
// PIXMAP_CLEAR, bytes red, green, blue, 0): what the loader costs beyond this is
// the GIO source, the file and the error handling.
void BM_JpegPlainIntoPixmap(benchmark::State& state)
{
    std::vector<uint8_t> data = file_bytes(jpeg_file(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        PlainError err;
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<PlainError*>(c->err)->jump, 1); };
        if (setjmp(err.jump)) {
            jpeg_destroy_decompress(&cinfo);
            state.SkipWithError("libjpeg failed");
            break;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        Pixmap* p = pixmap_create(static_cast<int32_t>(cinfo.output_width),
                                  static_cast<int32_t>(cinfo.output_height), PIXMAP_CLEAR);
        // An odd address keeps the library's row stores in the cache, as in the loader.
        std::vector<uint8_t> buffer(cinfo.output_width * 3 + 1);
        JSAMPROW row = buffer.data() + 1;
        while (cinfo.output_scanline < cinfo.output_height) {
            uint32_t* dst = p->pixels + p->rows[cinfo.output_scanline];
            jpeg_read_scanlines(&cinfo, &row, 1);
            const uint8_t* src = row;
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x, src += 3)
                dst[x] = src[0] | (src[1] << 8) | (src[2] << 16);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(p);
        pixmap_destroy(p);
    }
}
BENCHMARK(BM_JpegPlainIntoPixmap)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

}  // namespace

// The GIF reader traces every block on standard output: that goes to /dev/null,
// the benchmark's report to the original standard output.
int main(int argc, char** argv)
{
    std::fflush(stdout);
    int report_fd = dup(1);
    int null_fd = open("/dev/null", O_WRONLY);
    if (report_fd < 0 || null_fd < 0) return 1;
    dup2(null_fd, 1);
    close(null_fd);
    std::ofstream report("/proc/self/fd/" + std::to_string(report_fd), std::ios::out | std::ios::app);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::ConsoleReporter console;
    console.SetOutputStream(&report);
    console.SetErrorStream(&report);
    benchmark::RunSpecifiedBenchmarks(&console);
    benchmark::Shutdown();
    return 0;
}
