// GMEM: checked, counted allocation over the C library, with the block
// registry, statistics, guard zones and the small copy and fill operations.
#include "engine/memory/gmem.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- module state ---------------------------------------------------------

static uint32_t gmem_options = GMEM_DEFAULT_FLAGS;
static GmemBlock* gmem_buckets[GMEM_BUCKETS];
static bool gmem_initialised = false;
static GmemStats gmem_state;
static int gmem_error = 0;

// ---- private helpers ------------------------------------------------------

static uint32_t bucket_of(const void* address)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) & (GMEM_BUCKETS - 1));
}

// The first record of the address's bucket whose range holds the address;
// `link` receives the pointer that points at it, for unlinking.
static GmemBlock* lookup(const void* address, GmemBlock*** link)
{
    GmemBlock** at = &gmem_buckets[bucket_of(address)];
    const uint8_t* p = static_cast<const uint8_t*>(address);
    for (GmemBlock* b = *at; b; at = &b->next, b = b->next) {
        const uint8_t* start = static_cast<const uint8_t*>(b->address);
        if (p >= start && p < start + b->size + b->guard) {
            if (link) *link = at;
            return b;
        }
    }
    return nullptr;
}

static void raise_peaks()
{
    if ((gmem_options & GMEM_PEAK_BYTES) && gmem_state.bytes > gmem_state.peak_bytes)
        gmem_state.peak_bytes = gmem_state.bytes;
    if ((gmem_options & GMEM_PEAK_BLOCKS) && gmem_state.blocks > gmem_state.peak_blocks)
        gmem_state.peak_blocks = gmem_state.blocks;
    if ((gmem_options & GMEM_PEAK_OVERHEAD) && gmem_state.overhead > gmem_state.peak_overhead)
        gmem_state.peak_overhead = gmem_state.overhead;
}

// ---- public functions -----------------------------------------------------

void* gmem_alloc(uint32_t size)
{
    uint32_t guard = (gmem_options & GMEM_GUARD) ? GMEM_GUARD_SIZE : 0;
    size_t total = static_cast<size_t>(size) + guard;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(total ? total : 1));
    if (!block) {
        gmem_error = 1;
        return nullptr;
    }
    if (gmem_options & GMEM_ZERO) std::memset(block, 0, size);
    if (guard) std::memset(block + size, 0, guard);

    if (!gmem_initialised) {
        std::memset(gmem_buckets, 0, sizeof gmem_buckets);
        gmem_initialised = true;
    }
    GmemBlock* record = static_cast<GmemBlock*>(std::malloc(sizeof(GmemBlock)));
    if (!record) {
        gmem_error = 1;
        std::free(block);
        return nullptr;
    }
    uint32_t b = bucket_of(block);
    *record = GmemBlock{block, size, guard, gmem_buckets[b]};
    gmem_buckets[b] = record;

    if (gmem_options & GMEM_COUNT_BYTES) gmem_state.bytes += size + guard + GMEM_RECORD_SIZE;
    if (gmem_options & GMEM_COUNT_BLOCKS) gmem_state.blocks += 1;
    if (gmem_options & GMEM_COUNT_OVERHEAD) gmem_state.overhead += guard + GMEM_RECORD_SIZE;
    raise_peaks();
    return block;
}

void* gmem_realloc(void* address, uint32_t size)
{
    if (!address) return gmem_alloc(size);
    GmemBlock** link = nullptr;
    GmemBlock* record = gmem_initialised ? lookup(address, &link) : nullptr;
    if (!record) {
        gmem_error = 4;
        return nullptr;
    }
    uint32_t guard = (gmem_options & GMEM_GUARD) ? GMEM_GUARD_SIZE : 0;
    size_t total = static_cast<size_t>(size) + guard;
    uint8_t* block = static_cast<uint8_t*>(std::realloc(record->address, total ? total : 1));
    if (!block) {
        gmem_error = 1;
        return nullptr;
    }
    *link = record->next;
    uint32_t old_size = record->size;
    if ((gmem_options & GMEM_ZERO) && size > old_size) std::memset(block + old_size, 0, size - old_size);
    if (guard) std::memset(block + size, 0, guard);

    uint32_t b = bucket_of(block);
    *record = GmemBlock{block, size, guard, gmem_buckets[b]};
    gmem_buckets[b] = record;
    if (gmem_options & GMEM_COUNT_BYTES) {
        gmem_state.bytes += static_cast<int32_t>(size - old_size);
        if ((gmem_options & GMEM_PEAK_BYTES) && gmem_state.bytes > gmem_state.peak_bytes)
            gmem_state.peak_bytes = gmem_state.bytes;
    }
    return block;
}

int gmem_free(void* address)
{
    if (!address) {
        gmem_error = 2;
        return 0;
    }
    GmemBlock** link = nullptr;
    GmemBlock* record = gmem_initialised ? lookup(address, &link) : nullptr;
    if (!record) {
        gmem_error = 4;
        return 0;
    }
    *link = record->next;
    if (gmem_options & GMEM_COUNT_BYTES) gmem_state.bytes -= record->size + record->guard + GMEM_RECORD_SIZE;
    if (gmem_options & GMEM_COUNT_BLOCKS) gmem_state.blocks -= 1;
    if (gmem_options & GMEM_COUNT_OVERHEAD) gmem_state.overhead -= record->guard + GMEM_RECORD_SIZE;
    if ((gmem_options & GMEM_GUARD) && record->guard) {
        const uint8_t* zone = static_cast<const uint8_t*>(record->address) + record->size;
        for (uint32_t i = 0; i < record->guard; ++i) {
            if (zone[i]) {
                gmem_state.guard_violations += 1;
                break;
            }
        }
    }
    std::free(record->address);
    std::free(record);
    return 1;
}

int gmem_copy(void* dst, const void* src, uint32_t bytes)
{
    if (!dst || !src) {
        gmem_error = 2;
        return 0;
    }
    std::memcpy(dst, src, bytes);
    return 1;
}

int gmem_copy16(void* dst, const void* src, uint32_t count)
{
    if (!dst || !src) {
        gmem_error = 2;
        return 0;
    }
    uint16_t* d = static_cast<uint16_t*>(dst);
    const uint16_t* s = static_cast<const uint16_t*>(src);
    for (uint32_t i = 0; i < count; ++i) d[i] = s[i];
    return 1;
}

int gmem_copy32(void* dst, const void* src, uint32_t count)
{
    uint32_t* d = static_cast<uint32_t*>(dst);
    const uint32_t* s = static_cast<const uint32_t*>(src);
    // A destination before the source, or clear of it, gets the same words from
    // a block move as from a first-to-last copy, at the C library's speed.
    if (d <= s || d >= s + count) {
        std::memmove(d, s, static_cast<size_t>(count) * 4);
        return 1;
    }
    // A destination inside the source: first to last, repeating the source's start.
    for (uint32_t i = 0; i < count; ++i) d[i] = s[i];
    return 1;
}

int gmem_fill(void* address, int value, uint32_t bytes)
{
    if (!address) {
        gmem_error = 2;
        return 0;
    }
    std::memset(address, value, bytes);
    return 1;
}

int gmem_fill16(void* address, uint32_t value, uint32_t count)
{
    uint16_t* d = static_cast<uint16_t*>(address);
    for (uint32_t i = 0; i < count; ++i) d[i] = static_cast<uint16_t>(value);
    return 1;
}

int gmem_fill32(void* address, uint32_t value, uint32_t count)
{
    // The z-buffer reset of every frame: 16-byte stores, four to a step.
    uint32_t* d = static_cast<uint32_t*>(address);
    uint32_t i = 0;
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(static_cast<int32_t>(value));
    for (; i + 16 <= count; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 4), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 12), v);
    }
    for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
#endif
    for (; i < count; ++i) d[i] = value;
    return 1;
}

int gmem_set_flags(uint32_t flags)
{
    gmem_options = flags;
    return 1;
}

uint32_t gmem_get_flags()
{
    return gmem_options;
}

int gmem_stats(GmemStats* out)
{
    *out = gmem_state;
    int used = 0, records = 0;
    if (gmem_initialised) {
        for (uint32_t i = 0; i < GMEM_BUCKETS; ++i) {
            if (!gmem_buckets[i]) continue;
            used += 1;
            for (GmemBlock* b = gmem_buckets[i]; b; b = b->next) records += 1;
        }
    }
    out->used_buckets = used;
    out->bucket_fill = static_cast<float>(used / 8192.0);
    // With no bucket in use the mean is 0/0: report 0.0 instead.
    out->mean_chain = used ? static_cast<float>(static_cast<float>(records) / used + 0.5) : 0.0f;
    return 1;
}

const char* gmem_error_string()
{
    const char* message;
    switch (gmem_error) {
    case 0: message = "[GMEM] No error, so far..."; break;
    case 1: message = "[GMEM] Unable to allocate memory"; break;
    case 2: message = "[GMEM] Pointer is NULL or invalid"; break;
    case 3: message = "[GMEM] Unable to fill memory block"; break;
    case 4: message = "[GMEM] Adress invalid"; break;
    default: message = "[GMEM] Ambiguous error..."; break;
    }
    gmem_error = 0;
    return message;
}
