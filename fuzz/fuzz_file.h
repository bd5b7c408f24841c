// Shared by the loader fuzz targets: the loaders open files by name through GIO,
// so each input is written to one scratch file first; and every allocation a
// load makes through GMEM must be released again, which is checked per input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "engine/memory/gmem.h"

namespace fuzz {

inline const char* scratch_file()
{
    static const std::string path = [] {
        char name[] = "/tmp/tavik-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        static std::string keep = name;
        std::atexit([] { unlink(keep.c_str()); });
        return keep;
    }();
    return path.c_str();
}

inline const char* write_input(const uint8_t* data, size_t size)
{
    const char* path = scratch_file();
    FILE* f = std::fopen(path, "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

inline int32_t live_blocks()
{
    GmemStats stats;
    gmem_stats(&stats);
    return stats.blocks;
}

// A load that leaves GMEM blocks behind is a finding.
inline void check_no_leak(int32_t before)
{
    if (live_blocks() != before) {
        std::fprintf(stderr, "GMEM blocks leaked: %d\n", live_blocks() - before);
        std::abort();
    }
}

}  // namespace fuzz
