// mkassets DIR: writes the demo's default data set (music and pictures, all
// made here) into DIR, the same bytes on every run.
#include <gif_lib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/image/jpeg.h"
#include "engine/pixmap/pixmap.h"
#include "tools/mkassets/art.h"
#include "tools/mkassets/music.h"
#include "tools/xm/xm_writer.h"

namespace {

bool make_dir(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::fprintf(stderr, "mkassets: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool write_jpeg(const std::string& path, const art::Image& img)
{
    Pixmap* p = pixmap_create(img.width, img.height, 0);
    if (!p) return false;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* c = img.at(x, y);
            p->pixels[p->rows[y] + x] = c[0] | (c[1] << 8) | (c[2] << 16) | 0xFF000000u;
        }
    int ok = jpeg_save_pixmap(path.c_str(), p, 92);
    pixmap_destroy(p);
    if (!ok) std::fprintf(stderr, "mkassets: cannot write %s: %s\n", path.c_str(), jpeg_error_string());
    return ok != 0;
}

// One PCX run-length line: runs of up to 63, and single bytes of 0xC0 and up
// written as runs of one, as the format requires.
void pcx_line(std::vector<uint8_t>& out, const uint8_t* line, int n)
{
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && run < 63 && line[i + run] == line[i]) ++run;
        if (run > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(line[i]);
        i += run;
    }
}

// Version 5, three 8-bit planes (true colour), run-length encoded.
bool write_pcx(const std::string& path, const art::Image& img)
{
    std::vector<uint8_t> out(128, 0);
    int bpl = (img.width + 1) & ~1;  // bytes per plane line are even
    out[0] = 10;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    auto put16 = [&](int at, int v) {
        out[at] = static_cast<uint8_t>(v & 0xFF);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(8, img.width - 1);
    put16(10, img.height - 1);
    put16(12, 72);
    put16(14, 72);
    out[65] = 3;
    put16(66, bpl);
    put16(68, 1);
    std::vector<uint8_t> line(static_cast<size_t>(bpl));
    for (int y = 0; y < img.height; ++y)
        for (int plane = 0; plane < 3; ++plane) {
            for (int x = 0; x < bpl; ++x) line[x] = x < img.width ? img.at(x, y)[plane] : 0;
            pcx_line(out, line.data(), bpl);
        }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

// GIF87a with an exact palette: the picture is designed to use at most 256 colours.
bool write_gif(const std::string& path, const art::Image& img)
{
    std::map<uint32_t, int> index;
    std::vector<GifColorType> colours;
    std::vector<GifPixelType> pixels(static_cast<size_t>(img.width) * img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* c = img.at(x, y);
            uint32_t key = c[0] << 16 | c[1] << 8 | c[2];
            auto it = index.find(key);
            if (it == index.end()) {
                if (colours.size() == 256) {
                    std::fprintf(stderr, "mkassets: %s needs more than 256 colours\n", path.c_str());
                    return false;
                }
                it = index.emplace(key, static_cast<int>(colours.size())).first;
                colours.push_back(GifColorType{c[0], c[1], c[2]});
            }
            pixels[static_cast<size_t>(y) * img.width + x] = static_cast<GifPixelType>(it->second);
        }
    colours.resize(256, GifColorType{0, 0, 0});
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) return false;
    EGifSetGifVersion(gif, false);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    bool ok = map && EGifPutScreenDesc(gif, img.width, img.height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, img.width, img.height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < img.height; ++y)
        ok = EGifPutLine(gif, pixels.data() + static_cast<size_t>(y) * img.width, img.width) == GIF_OK;
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    // giflib creates the file readable by its owner only.
    return ok && chmod(path.c_str(), 0644) == 0;
}

struct Step {
    std::string what;
    bool ok;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        // Installed as tavik-mkassets: the usage names the program as it was run.
        const char* slash = std::strrchr(argv[0], '/');
        std::fprintf(stderr, "usage: %s DIR\n  writes the demo's default data set (music and pictures) into DIR\n",
                     slash ? slash + 1 : argv[0]);
        return 2;
    }
    auto started = std::chrono::steady_clock::now();
    std::string dir = argv[1];
    if (!make_dir(dir) || !make_dir(dir + "/data") || !make_dir(dir + "/data/knot") || !make_dir(dir + "/data/hairy") ||
        !make_dir(dir + "/hd") || !make_dir(dir + "/hd/data") || !make_dir(dir + "/hd/data/knot"))
        return 1;

    // Environment maps: steel-blue glass, chrome, and warm gold.
    const art::Metal blue = {{0.25, 0.45, 0.95}, {0.75, 0.85, 1.0}, {0.02, 0.04, 0.12}, {0.9, 0.95, 1.0}};
    const art::Metal chrome = {{0.55, 0.6, 0.7}, {0.95, 0.95, 0.95}, {0.08, 0.07, 0.06}, {1.0, 1.0, 1.0}};
    const art::Metal gold = {{0.85, 0.6, 0.25}, {1.0, 0.9, 0.6}, {0.12, 0.06, 0.02}, {1.0, 0.95, 0.8}};

    std::vector<Step> steps;
    std::vector<uint8_t> xm;
    XmSong song = music::compose();
    steps.push_back({"ragga.xm", xm_write_file(song, (dir + "/ragga.xm").c_str()) == 1});
    // "blå.jpg" and "röd.jpg" are written with their UTF-8 names.
    steps.push_back({"bl\xC3\xA5.jpg", write_jpeg(dir + "/bl\xC3\xA5.jpg", art::environment_map(blue, 1))});
    steps.push_back({"r\xC3\xB6" "d.jpg", write_jpeg(dir + "/r\xC3\xB6" "d.jpg", art::tunnel_texture())});
    steps.push_back({"envmap.jpg", write_jpeg(dir + "/envmap.jpg", art::environment_map(chrome, 2))});
    steps.push_back({"t8-greyb.jpg", write_jpeg(dir + "/t8-greyb.jpg", art::grey_background())});
    steps.push_back({"slutbild.gif", write_gif(dir + "/slutbild.gif", art::end_picture())});
    steps.push_back({"data/knot/img.jpg", write_jpeg(dir + "/data/knot/img.jpg", art::knot_background())});
    // The pictures again at four times the size, for the demo's larger scales.
    constexpr int HD = 4;
    steps.push_back({"hd/t8-greyb.jpg", write_jpeg(dir + "/hd/t8-greyb.jpg", art::grey_background(HD))});
    steps.push_back({"hd/slutbild.gif", write_gif(dir + "/hd/slutbild.gif", art::end_picture(HD))});
    steps.push_back({"hd/data/knot/img.jpg", write_jpeg(dir + "/hd/data/knot/img.jpg", art::knot_background(HD))});
    steps.push_back({"data/hairy/envmap01.jpg", write_jpeg(dir + "/data/hairy/envmap01.jpg", art::environment_map(gold, 3))});
    steps.push_back({"data/hairy/envmap03.pcx", write_pcx(dir + "/data/hairy/envmap03.pcx", art::sphere_texture())});
    const struct {
        const char* file;
        const char* role;
        const char* name;
    } credits[] = {
        {"music", "MUSIC", "TALLOW"},  {"warnip", "GRAPHICS", "VESK"}, {"coding", "CODE", "ORLO"},
        {"hoskel", "ENGINE", "MIRABEL"}, {"dunraf", "3D MESHES", "KALDE"}, {"selvin", "SYNC", "RUNO"},
        {"mobrek", "SUPPORT", "THE CREW"},
    };
    for (const auto& c : credits) {
        std::string path = dir + "/data/knot/" + c.file + ".jpg";
        steps.push_back({c.file, write_jpeg(path, art::credit_picture(c.role, c.name))});
        std::string hd = dir + "/hd/data/knot/" + c.file + ".jpg";
        steps.push_back({hd.substr(dir.size() + 1), write_jpeg(hd, art::credit_picture(c.role, c.name, HD))});
    }

    int failed = 0;
    for (const Step& s : steps)
        if (!s.ok) {
            std::fprintf(stderr, "mkassets: failed to write %s\n", s.what.c_str());
            ++failed;
        }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (failed) return 1;
    std::printf("mkassets: wrote %zu files into %s in %.2f s\n", steps.size(), dir.c_str(), seconds);
    return 0;
}
