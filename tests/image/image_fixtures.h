// Helpers shared by the image-loader tests: fixture files made at test time by
// ImageMagick's convert into the build directory, ImageMagick's own decode of them,
// and small byte-level file utilities.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fixtures {

using Bytes = std::vector<uint8_t>;

inline std::string dir()
{
    static const std::string d = [] {
        std::string p = std::string(TAVIK_BINARY_DIR) + "/test-images";
        std::system(("mkdir -p '" + p + "'").c_str());
        return p;
    }();
    return d;
}

inline std::string path(const std::string& name) { return dir() + "/" + name; }

// Runs a shell command; the test fails (and the result says so) when it fails.
inline bool run(const std::string& command)
{
    int rc = std::system((command + " 2>&1").c_str());
    EXPECT_EQ(rc, 0) << "command failed: " << command;
    return rc == 0;
}

// Makes `name` in the fixture directory with `convert <args> <name>`.
inline std::string make(const std::string& name, const std::string& args)
{
    std::string out = path(name);
    run("convert " + args + " '" + out + "'");
    return out;
}

inline Bytes read_file(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string write_file(const std::string& name, const Bytes& bytes)
{
    std::string out = path(name);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out;
}

// ImageMagick's decode of `spec` (a file, or file[frame]) as 8-bit RGB, with the
// image's own size (no canvas offset).
inline Bytes magick_rgb(const std::string& spec)
{
    // One scratch name per process: ctest runs test cases side by side.
    std::string out = path("decoded-" + std::to_string(getpid()) + ".rgb");
    run("convert '" + spec + "' +repage -depth 8 rgb:'" + out + "'");
    Bytes rgb = read_file(out);
    std::remove(out.c_str());
    return rgb;
}

}  // namespace fixtures

// A loader's detail line names the file first, then holds the cause; an empty
// cause means a load that went well, whose detail is empty.
inline void expect_detail(const char* detail, const std::string& file, const std::string& cause)
{
    std::string d = detail;
    if (cause.empty()) {
        EXPECT_EQ(d, "");
        return;
    }
    EXPECT_EQ(d.rfind(file + ": ", 0), 0u) << d;
    EXPECT_NE(d.find(cause), std::string::npos) << d;
}
