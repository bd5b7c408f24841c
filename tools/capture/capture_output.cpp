// wendril-capture's files: PNG (tools/pngfile), the WAV cut to the captured span,
// the contact sheet drawn with the data set's bitmap font, and ffmpeg run as a
// child process with a pipe (no shell, so any file name is safe). The Windows
// build runs no ffmpeg and catches SIGINT and SIGTERM only.
#include "tools/capture/capture_output.h"

#include "app/picture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#endif

#include "tools/capture/span.h"
#include "tools/font/font.h"
#ifndef TAVIK_NO_PNG
#include "tools/pngfile/pngfile.h"
#endif

RgbImage capture_rgb_from_rgba(const uint32_t* pixels, const int32_t* rows, int width, int height) {
    RgbImage out;
    out.width = width;
    out.height = height;
    out.rgb.resize(size_t(width) * size_t(height) * 3);
#ifndef TAVIK_NO_PNG
    pngfile_rgb_from_rgba(pixels, rows, width, height, out.rgb.data());
#else
    // The build without libpng (wasm) has no pngfile.h: the same bytes here.
    uint8_t* rgb = out.rgb.data();
    for (int y = 0; y < height; y++) {
        const uint8_t* src = reinterpret_cast<const uint8_t*>(pixels + rows[y]);
        for (int x = 0; x < width; x++, src += 4, rgb += 3) rgb[0] = src[0], rgb[1] = src[1], rgb[2] = src[2];
    }
#endif
    return out;
}

bool capture_write_png(const std::string& path, const RgbImage& image) {
#ifndef TAVIK_NO_PNG
    // Level 1 writes a frame about 2.5 times as fast as the default for some 10 %
    // more bytes; the output is still the same on every run.
    return pngfile_write_rgb(path, image.width, image.height, image.rgb.data(), 1);
#else
    (void)path, (void)image;
    errno = ENOSYS;  // refused before the run (check_before_writing)
    return false;
#endif
}

// ---- WAV -------------------------------------------------------------------------------

namespace {

constexpr uint32_t WAV_HEADER = 44;
constexpr uint32_t FRAME_BYTES = 4;  // 16-bit stereo

void put_le(unsigned char* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

bool capture_cut_wav(const std::string& part, uint64_t part_first, uint64_t first, uint64_t end,
                     const std::string& path) {
    FILE* in = std::fopen(part.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "wendril-capture: cannot read %s: %s\n", part.c_str(), std::strerror(errno));
        return false;
    }
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    const uint64_t have = size > long(WAV_HEADER) ? uint64_t(size - WAV_HEADER) / FRAME_BYTES : 0;
    if (first < part_first || end > part_first + have || end < first) {
        std::fprintf(stderr,
                     "wendril-capture: the rendered sound covers samples %llu .. %llu, not %llu .. %llu\n",
                     static_cast<unsigned long long>(part_first), static_cast<unsigned long long>(part_first + have),
                     static_cast<unsigned long long>(first), static_cast<unsigned long long>(end));
        std::fclose(in);
        return false;
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        std::fclose(in);
        return false;
    }
    const uint64_t data_bytes = (end - first) * FRAME_BYTES;
    unsigned char h[WAV_HEADER];
    std::memcpy(h, "RIFF", 4);
    put_le(h + 4, uint32_t(std::min<uint64_t>(36 + data_bytes, 0xFFFFFFFFu)), 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_le(h + 16, 16, 4);
    put_le(h + 20, 1, 2);       // PCM
    put_le(h + 22, 2, 2);       // stereo
    put_le(h + 24, 44100, 4);
    put_le(h + 28, 44100 * FRAME_BYTES, 4);
    put_le(h + 32, FRAME_BYTES, 2);
    put_le(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    put_le(h + 40, uint32_t(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu - 36)), 4);
    bool ok = std::fwrite(h, 1, sizeof h, out) == sizeof h;
    std::fseek(in, long(WAV_HEADER + (first - part_first) * FRAME_BYTES), SEEK_SET);
    std::vector<char> buffer(1 << 16);
    for (uint64_t left = data_bytes; ok && left > 0;) {
        const size_t n = size_t(std::min<uint64_t>(left, buffer.size()));
        ok = std::fread(buffer.data(), 1, n, in) == n && std::fwrite(buffer.data(), 1, n, out) == n;
        left -= n;
    }
    std::fclose(in);
    if (std::fclose(out) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return ok;
}

// ---- contact sheet ---------------------------------------------------------------------

RgbImage sheet_thumbnail(const RgbImage& frame) {
    RgbImage t;
    t.width = SHEET_THUMB_W;
    t.height = SHEET_THUMB_H;
    t.rgb.assign(size_t(t.width) * size_t(t.height) * 3, 0);
    if (frame.width > 2 * SHEET_THUMB_W || frame.height > 2 * SHEET_THUMB_H) {
        // A scaled frame: area-averaged down to the thumbnail.
        picture_resample_bytes(frame.rgb.data(), frame.width, frame.height, frame.width * 3, t.rgb.data(), t.width,
                               t.height, t.width * 3, 3);
        return t;
    }
    const int w = std::min(frame.width / 2, t.width), h = std::min(frame.height / 2, t.height);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                const uint8_t* p = frame.rgb.data() + (size_t(2 * y) * size_t(frame.width) + size_t(2 * x)) * 3 + c;
                const size_t row = size_t(frame.width) * 3;
                t.rgb[(size_t(y) * size_t(t.width) + size_t(x)) * 3 + c] =
                    uint8_t((p[0] + p[3] + p[row] + p[row + 3] + 2) / 4);
            }
    return t;
}

namespace {

void put_pixel(RgbImage* img, int x, int y, const uint8_t colour[3]) {
    if (x < 0 || y < 0 || x >= img->width || y >= img->height) return;
    std::memcpy(img->rgb.data() + (size_t(y) * size_t(img->width) + size_t(x)) * 3, colour, 3);
}

// The font has capitals only; the text is cut at the cell's edge.
void draw_text(RgbImage* img, int x, int y, int max_x, const std::string& text, const uint8_t colour[3]) {
    for (char ch : text) {
        if (x + font::GLYPH_W > max_x) break;
        const uint8_t* rows = font::glyph(char(std::toupper(static_cast<unsigned char>(ch))));
        for (int r = 0; r < font::GLYPH_H; r++)
            for (int c = 0; c < font::GLYPH_W; c++)
                if (rows[r] & (0x10 >> c)) put_pixel(img, x + c, y + r, colour);
        x += font::GLYPH_W + 1;
    }
}

}  // namespace

RgbImage sheet_compose(const std::vector<SheetThumb>& thumbs) {
    static const uint8_t BACK[3] = {24, 24, 28}, TEXT[3] = {235, 235, 235}, DIM[3] = {150, 160, 175};
    const int count = int(thumbs.size());
    const int cols = std::max(1, std::min(count, int(SHEET_COLUMNS)));
    const int rows = std::max(1, (count + cols - 1) / cols);
    const int cell_h = SHEET_THUMB_H + SHEET_LABEL_H;
    RgbImage sheet;
    sheet.width = cols * SHEET_THUMB_W + (cols + 1) * SHEET_GAP;
    sheet.height = rows * cell_h + (rows + 1) * SHEET_GAP;
    sheet.rgb.resize(size_t(sheet.width) * size_t(sheet.height) * 3);
    for (size_t i = 0; i < sheet.rgb.size(); i += 3) std::memcpy(&sheet.rgb[i], BACK, 3);
    for (int i = 0; i < count; i++) {
        const SheetThumb& t = thumbs[size_t(i)];
        const int x0 = SHEET_GAP + (i % cols) * (SHEET_THUMB_W + SHEET_GAP);
        const int y0 = SHEET_GAP + (i / cols) * (cell_h + SHEET_GAP);
        for (int y = 0; y < SHEET_THUMB_H; y++)
            std::memcpy(sheet.rgb.data() + (size_t(y0 + y) * size_t(sheet.width) + size_t(x0)) * 3,
                        t.picture.rgb.data() + size_t(y) * SHEET_THUMB_W * 3, SHEET_THUMB_W * 3);
        draw_text(&sheet, x0, y0 + SHEET_THUMB_H + 3, x0 + SHEET_THUMB_W, span_sheet_label(t.order, t.row, t.time_us), TEXT);
        draw_text(&sheet, x0, y0 + SHEET_THUMB_H + 12, x0 + SHEET_THUMB_W, t.section, DIM);
    }
    return sheet;
}

// ---- signals -----------------------------------------------------------------------------

namespace {

volatile sig_atomic_t stop_signal = 0;
#ifndef _WIN32
// The ffmpeg process running now (0: none). Cleared only while the process is
// still a zombie, so the handler never signals a process id used again.
volatile sig_atomic_t running_ffmpeg = 0;
#endif

// Async-signal-safe only: a note and kill().
void on_stop_signal(int sig) {
    const int saved = errno;
    stop_signal = sig;
#ifdef _WIN32
    std::signal(sig, on_stop_signal);  // the C library resets the handler on a signal
#else
    if (running_ffmpeg > 0) kill(pid_t(running_ffmpeg), SIGKILL);
#endif
    errno = saved;
}

}  // namespace

#ifdef _WIN32
void capture_catch_signals() {
    // A signal ignored on entry stays ignored.
    for (int sig : {SIGINT, SIGTERM})
        if (std::signal(sig, on_stop_signal) == SIG_IGN) std::signal(sig, SIG_IGN);
}
#else
void capture_catch_signals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // A signal ignored on entry stays ignored (nohup, background jobs).
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = on_stop_signal;
        sigemptyset(&sa.sa_mask);
        // Restarted calls: a write or a wait interrupted by the signal goes on, and
        // comes back because ffmpeg is gone; file writes see no EINTR.
        sa.sa_flags = SA_RESTART;
        sigaction(sig, &sa, nullptr);
    }
}
#endif

int capture_stop_signal() { return stop_signal; }

// ---- ffmpeg ------------------------------------------------------------------------------

#ifdef _WIN32
// No ffmpeg runs in this build: --mp4 is refused before the run.
bool ffmpeg_available() { return false; }
bool video_begin(VideoEncoder*, const std::string&, int, int, uint32_t, int) { return false; }
bool video_frame(VideoEncoder*, const RgbImage&) { return false; }
bool video_end(VideoEncoder*) { return false; }
bool video_mux(const std::string&, const std::string&, const std::string&) { return false; }
#else
bool ffmpeg_available() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/ffmpeg";
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

namespace {

// Runs ffmpeg with `args`; with `pipe_fd` its standard input is a new pipe whose
// writing end is returned there. -1 when it cannot be started.
int spawn_ffmpeg(const std::vector<std::string>& args, int* pipe_fd) {
    int fds[2] = {-1, -1};
    if (pipe_fd && pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (pipe_fd) {
            dup2(fds[0], 0);
            close(fds[0]);
            close(fds[1]);
        } else {
            const int null_fd = open("/dev/null", O_RDONLY);
            if (null_fd >= 0) dup2(null_fd, 0);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("ffmpeg"));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    if (pid > 0) {
        running_ffmpeg = pid;
        // A signal that came before the process id was noted.
        if (stop_signal) kill(pid, SIGKILL);
    }
    if (pipe_fd) {
        close(fds[0]);
        if (pid < 0) {
            close(fds[1]);
            return -1;
        }
        *pipe_fd = fds[1];
    }
    return pid;
}

bool wait_ok(int pid) {
    // Waited for without reaping first: until it is reaped the process id cannot
    // be given to another process, so the signal handler may still kill it.
    siginfo_t info;
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    if (running_ffmpeg == pid) running_ffmpeg = 0;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool video_begin(VideoEncoder* enc, const std::string& path, int width, int height, uint32_t fps, int zoom) {
    // A broken pipe (ffmpeg gone) must surface as a failed write, not end us.
    signal(SIGPIPE, SIG_IGN);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    // H.264 in 4:2:0 wants even sizes: an odd row or column is padded with black.
    const std::string scaled = zoom > 1 ? "scale=" + std::to_string(zoom * width) + ":" + std::to_string(zoom * height) +
                                              ":flags=neighbor"
                                        : "pad=ceil(iw/2)*2:ceil(ih/2)*2";
    enc->pid = spawn_ffmpeg({"-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                             size, "-framerate", std::to_string(fps), "-i", "-", "-vf", scaled, "-c:v", "libx264",
                             "-preset", "fast", "-crf", "18", "-pix_fmt", "yuv420p", "-an", "-f", "mp4", path},
                            &enc->fd);
    return enc->pid > 0;
}

bool video_frame(VideoEncoder* enc, const RgbImage& frame) {
    const uint8_t* p = frame.rgb.data();
    size_t left = frame.rgb.size();
    while (left > 0) {
        const ssize_t n = write(enc->fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

bool video_end(VideoEncoder* enc) {
    if (enc->pid <= 0) return false;
    close(enc->fd);
    enc->fd = -1;
    const bool ok = wait_ok(enc->pid);
    enc->pid = -1;
    return ok;
}

bool video_mux(const std::string& video, const std::string& wav, const std::string& path) {
    const int pid = spawn_ffmpeg({"-hide_banner", "-loglevel", "error", "-y", "-i", video, "-i", wav, "-map", "0:v",
                                  "-map", "1:a", "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", "-movflags",
                                  "+faststart", "-f", "mp4", path},
                                 nullptr);
    return pid > 0 && wait_ok(pid);
}
#endif  // _WIN32
