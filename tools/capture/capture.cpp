// wendril-capture: runs the demo on the headless host at a fixed frame rate and
// writes every frame as a numbered PNG and the sound as a WAV file. Frame N is
// the same on every run. Usage: wendril-capture [--fps N] [--frames N] [--out DIR]
// [--data DIR] [--every N]; without --frames it stops two seconds into the end loop.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/demo.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/audio.h"
#include "platform/host.h"

namespace {

struct Capture {
    std::string out = "capture";
    std::string data = ".";
    uint32_t fps = 60;
    uint64_t frames = 0;        // 0: until two seconds into the end loop
    uint64_t every = 1;         // write every Nth frame
    uint64_t end_loop_frames = 0;
    uint64_t written = 0;
    bool escape_sent = false;
    bool failed = false;
};

// Pixmap pixels are bytes red, green, blue, alpha: written as RGB.
bool write_png(const char* name, const Pixmap* pm) {
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, uint32_t(pm->width), uint32_t(pm->height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::string row(size_t(pm->width) * 3, '\0');
    for (int32_t y = 0; y < pm->height; y++) {
        const uint32_t* src = pm->pixels + pm->rows[y];
        for (int32_t x = 0; x < pm->width; x++) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(src + x);
            row[3 * x] = char(p[0]), row[3 * x + 1] = char(p[1]), row[3 * x + 2] = char(p[2]);
        }
        png_write_row(png, reinterpret_cast<png_bytep>(row.data()));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

void on_frame(uint64_t frame, void* user) {
    Capture* c = static_cast<Capture*>(user);
    if (frame % c->every == 0 && !c->failed) {
        char name[64];
        std::snprintf(name, sizeof name, "/frame_%06llu.png", static_cast<unsigned long long>(frame));
        if (!write_png((c->out + name).c_str(), demo.vscreen)) {
            std::fprintf(stderr, "wendril-capture: cannot write %s%s: %s\n", c->out.c_str(), name,
                         std::strerror(errno));
            c->failed = true;
        } else {
            c->written++;
        }
    }
    const uint32_t order = demo.position->order;
    if (frame % 300 == 0)
        std::fprintf(stderr, "wendril-capture: frame %llu, order %u, row %u\n",
                     static_cast<unsigned long long>(frame), order, uint32_t(demo.position->row));
    if (order >= 20) c->end_loop_frames++;
    const bool done = c->failed || (c->frames ? frame + 2 >= c->frames : c->end_loop_frames >= 2 * c->fps);
    // Escape is read at the next frame end, which ends the loop after that frame.
    if (done && !c->escape_sent) {
        host_inject_key(0x1B, true);
        host_inject_key(0x1B, false);
        c->escape_sent = true;
    }
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: wendril-capture [--fps N] [--frames N] [--every N] [--out DIR] [--data DIR]\n"
                 "  runs the demo headless from DIR (default .) and writes OUT/frame_NNNNNN.png and\n"
                 "  OUT/wendril.wav; without --frames it stops two seconds into the end loop\n");
    std::exit(2);
}

uint64_t number(const char* text) {
    char* end;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v == 0) usage();
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    Capture c;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) usage();
        if (arg == "--fps") c.fps = uint32_t(number(argv[++i]));
        else if (arg == "--frames") c.frames = number(argv[++i]);
        else if (arg == "--every") c.every = number(argv[++i]);
        else if (arg == "--out") c.out = argv[++i];
        else if (arg == "--data") c.data = argv[++i];
        else usage();
    }
    if (c.fps > 1000) usage();
    mkdir(c.out.c_str(), 0755);
    // Output paths are taken before moving into the data directory.
    char* full = realpath(c.out.c_str(), nullptr);
    if (!full) {
        std::fprintf(stderr, "wendril-capture: cannot make %s: %s\n", c.out.c_str(), std::strerror(errno));
        return 1;
    }
    c.out = full;
    std::free(full);
    if (chdir(c.data.c_str()) != 0) {
        std::fprintf(stderr, "wendril-capture: cannot enter %s: %s\n", c.data.c_str(), std::strerror(errno));
        return 1;
    }
    host_clock_set_frame_rate(c.fps);
    const std::string wav = c.out + "/wendril.wav";
    if (!audio_wav_begin(wav.c_str()))
        std::fprintf(stderr, "wendril-capture: cannot write %s; capturing frames only\n", wav.c_str());
    const int status = demo_run(on_frame, &c);
    audio_wav_end();
    if (status != 0) return status;
    std::fprintf(stderr, "wendril-capture: %llu frames at %u fps and the sound in %s\n",
                 static_cast<unsigned long long>(c.written), c.fps, c.out.c_str());
    return c.failed ? 1 : 0;
}
