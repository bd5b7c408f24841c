// GMEM: the engine's allocator. Hands out C-library blocks but keeps every live
// block in an 8192-bucket registry, so that releases are checked, usage is
// counted with its peaks, new memory is zeroed and a guard zone catches overruns.
#pragma once

#include <cstdint>
#include <cstddef>

// Option word bits.
enum : uint32_t {
    GMEM_COUNT_BYTES = 0x001,     // bytes in use (size + guard + 16 per block)
    GMEM_COUNT_BLOCKS = 0x002,    // live blocks
    GMEM_COUNT_OVERHEAD = 0x004,  // overhead bytes (guard + 16 per block)
    GMEM_PEAK_BYTES = 0x008,
    GMEM_PEAK_BLOCKS = 0x010,
    GMEM_PEAK_OVERHEAD = 0x020,
    GMEM_GUARD = 0x040,           // 512 guard bytes after each block, checked on release
    GMEM_ZERO = 0x080,            // zero new memory
    GMEM_DEFAULT_BIT = 0x100,     // set by default; tested by nothing
    GMEM_DEFAULT_FLAGS = 0x1BF,
};

constexpr uint32_t GMEM_GUARD_SIZE = 512;
constexpr uint32_t GMEM_RECORD_SIZE = 16;  // the accounted cost of one registry record
constexpr uint32_t GMEM_BUCKETS = 8192;

// One registry record per live block.
struct GmemBlock {
    void* address;
    uint32_t size;
    uint32_t guard;
    GmemBlock* next;
};

// The statistics snapshot, ten words.
struct GmemStats {
    int32_t bytes;            // 0: bytes in use
    int32_t blocks;           // 1: live blocks
    int32_t overhead;         // 2: overhead bytes
    int32_t peak_bytes;       // 3
    int32_t peak_blocks;      // 4
    int32_t peak_overhead;    // 5
    int32_t guard_violations; // 6: blocks released with a dirty guard zone
    float mean_chain;         // 7: records per used bucket + 0.5 (0.0 when none used)
    float bucket_fill;        // 8: used buckets / 8192.0
    int32_t used_buckets;     // 9
};
static_assert(sizeof(GmemStats) == 40, "GmemStats is ten 32-bit words");

void* gmem_alloc(uint32_t size);                       // new block or null (code 1)
void* gmem_realloc(void* address, uint32_t size);      // resized block or null (code 1 or 4)
int gmem_free(void* address);                          // 1, or 0 (code 2 null, 4 not a live block)
int gmem_copy(void* dst, const void* src, uint32_t bytes);         // 0 with code 2 on null
int gmem_copy16(void* dst, const void* src, uint32_t count);       // 0 with code 2 on null
int gmem_copy32(void* dst, const void* src, uint32_t count);       // unchecked, first to last
int gmem_fill(void* address, int value, uint32_t bytes);           // 0 with code 2 on null
int gmem_fill16(void* address, uint32_t value, uint32_t count);    // unchecked
int gmem_fill32(void* address, uint32_t value, uint32_t count);    // unchecked
int gmem_set_flags(uint32_t flags);                   // replaces the option word
// The option word.
uint32_t gmem_get_flags();
int gmem_stats(GmemStats* out);                       // snapshot plus bucket figures
const char* gmem_error_string();                      // message, then the code is reset
