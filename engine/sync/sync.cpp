// Sync tracks: the device's tracks, key editing, reading a track at a row and
// the track files. Records come from GMEM; a failed operation leaves a track as
// it was.
#include "engine/sync/sync.h"

#include "engine/io/gio.h"
#include "engine/memory/gmem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- module state -----------------------------------------------------------

static int sync_error = SYNC_ERR_NONE;
static char sync_detail[SYNC_MAX_PATH + 128];

static const char* const sync_messages[] = {
    "[Sync] No error",
    "[Sync] Unable to allocate memory",
    "[Sync] Bad argument (null device, track, name or key, or a key type other than 0-3)",
    "[Sync] Unable to open the track file",
    "[Sync] Track file shorter than its key count",
    "[Sync] Track file key count negative or beyond its data",
    "[Sync] Track file key with an interpolation type other than 0-3",
    "[Sync] Unable to write the track file",
    "[Sync] Track file name too long",
};

// ---- private helpers --------------------------------------------------------

static int fail(int code)
{
    sync_error = code;
    return 0;
}

static int fail_file(int code, const char* path, const char* cause)
{
    std::snprintf(sync_detail, sizeof sync_detail, "%s: %s", path, cause);
    return fail(code);
}

static char* copy_string(const char* s)
{
    uint32_t n = static_cast<uint32_t>(std::strlen(s)) + 1;
    char* copy = static_cast<char*>(gmem_alloc(n));
    if (copy) std::memcpy(copy, s, n);
    return copy;
}

// The first index whose key's row is not below row (count when none).
static int32_t lower_bound(const SyncTrack* track, int32_t row)
{
    int32_t lo = 0, hi = track->count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (track->keys[mid].row < row) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

// Room for count keys; 1, or 0 with code 1 and the keys as they were.
static int reserve(SyncTrack* track, int32_t count)
{
    if (count <= track->capacity) return 1;
    if (count > SYNC_MAX_KEYS) return fail(SYNC_ERR_MEMORY);
    int32_t capacity = track->capacity ? track->capacity : 8;
    while (capacity < count) capacity = capacity > SYNC_MAX_KEYS / 2 ? SYNC_MAX_KEYS : capacity * 2;
    uint32_t bytes = static_cast<uint32_t>(capacity) * sizeof(SyncKey);
    SyncKey* keys = static_cast<SyncKey*>(track->keys ? gmem_realloc(track->keys, bytes) : gmem_alloc(bytes));
    if (!keys) return fail(SYNC_ERR_MEMORY);
    track->keys = keys;
    track->capacity = capacity;
    return 1;
}

static void track_free(SyncTrack* track)
{
    if (!track) return;
    if (track->keys) gmem_free(track->keys);
    if (track->name) gmem_free(track->name);
    gmem_free(track);
}

static uint32_t read_le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static void write_le32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// A decoded key with its place in the file, so that sorting keeps the file's
// order among keys of one row.
struct LoadedKey {
    SyncKey key;
    int32_t order;
};

static int compare_loaded(const void* a, const void* b)
{
    const LoadedKey* x = static_cast<const LoadedKey*>(a);
    const LoadedKey* y = static_cast<const LoadedKey*>(b);
    if (x->key.row != y->key.row) return x->key.row < y->key.row ? -1 : 1;
    return x->order < y->order ? -1 : (x->order > y->order ? 1 : 0);
}

// ---- public functions -------------------------------------------------------

SyncDevice* sync_create(const char* base)
{
    if (!base) {
        fail(SYNC_ERR_ARGUMENT);
        return nullptr;
    }
    SyncDevice* device = static_cast<SyncDevice*>(gmem_alloc(sizeof(SyncDevice)));
    if (!device) {
        fail(SYNC_ERR_MEMORY);
        return nullptr;
    }
    device->base = copy_string(base);
    if (!device->base) {
        gmem_free(device);
        fail(SYNC_ERR_MEMORY);
        return nullptr;
    }
    return device;
}

void sync_destroy(SyncDevice* device)
{
    if (!device) return;
    for (int32_t i = 0; i < device->count; ++i) track_free(device->tracks[i]);
    if (device->tracks) gmem_free(device->tracks);
    gmem_free(device->base);
    gmem_free(device);
}

int32_t sync_find_track(const SyncDevice* device, const char* name)
{
    if (!device || !name) return -1;
    for (int32_t i = 0; i < device->count; ++i)
        if (std::strcmp(device->tracks[i]->name, name) == 0) return i;
    return -1;
}

const SyncTrack* sync_get_track(SyncDevice* device, const char* name)
{
    if (!device || !name) {
        fail(SYNC_ERR_ARGUMENT);
        return nullptr;
    }
    int32_t found = sync_find_track(device, name);
    if (found >= 0) return device->tracks[found];
    if (device->count == device->capacity) {
        if (device->capacity >= SYNC_MAX_KEYS) {
            fail(SYNC_ERR_MEMORY);
            return nullptr;
        }
        int32_t capacity = device->capacity ? device->capacity * 2 : 16;
        uint32_t bytes = static_cast<uint32_t>(capacity) * sizeof(SyncTrack*);
        SyncTrack** tracks = static_cast<SyncTrack**>(
            device->tracks ? gmem_realloc(device->tracks, bytes) : gmem_alloc(bytes));
        if (!tracks) {
            fail(SYNC_ERR_MEMORY);
            return nullptr;
        }
        device->tracks = tracks;
        device->capacity = capacity;
    }
    SyncTrack* track = static_cast<SyncTrack*>(gmem_alloc(sizeof(SyncTrack)));
    if (track) track->name = copy_string(name);
    if (!track || !track->name) {
        track_free(track);
        fail(SYNC_ERR_MEMORY);
        return nullptr;
    }
    device->tracks[device->count++] = track;
    return track;
}

SyncTrack* sync_track_at(SyncDevice* device, int32_t index)
{
    if (!device || index < 0 || index >= device->count) {
        fail(SYNC_ERR_ARGUMENT);
        return nullptr;
    }
    return device->tracks[index];
}

float sync_get_val(const SyncTrack* track, double row)
{
    if (!track || track->count == 0) return 0.0f;
    const SyncKey* keys = track->keys;
    // The last key on or before row: a binary search over the rows as doubles, so
    // that any row (a NaN too, which reads as before the first key) is safe.
    int32_t lo = 0, hi = track->count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (static_cast<double>(keys[mid].row) <= row) lo = mid + 1;
        else hi = mid;
    }
    int32_t i = lo - 1;
    if (i < 0) return keys[0].value;
    if (i >= track->count - 1) return keys[track->count - 1].value;
    const SyncKey& a = keys[i];
    const SyncKey& b = keys[i + 1];
    double t = (row - a.row) / (static_cast<double>(b.row) - a.row);
    switch (a.type) {
    case SYNC_LINEAR: break;
    case SYNC_SMOOTH: t = t * t * (3.0 - 2.0 * t); break;
    case SYNC_RAMP: t = t * t; break;
    default: return a.value;  // step
    }
    return static_cast<float>(a.value + (static_cast<double>(b.value) - a.value) * t);
}

int32_t sync_find_key(const SyncTrack* track, int32_t row)
{
    if (!track) return -1;
    int32_t i = lower_bound(track, row);
    return i < track->count && track->keys[i].row == row ? i : -1;
}

int sync_set_key(SyncTrack* track, const SyncKey* key)
{
    if (!track || !key || key->type < 0 || key->type >= SYNC_TYPE_COUNT) return fail(SYNC_ERR_ARGUMENT);
    int32_t i = lower_bound(track, key->row);
    if (i < track->count && track->keys[i].row == key->row) {
        track->keys[i] = *key;
        return 1;
    }
    if (!reserve(track, track->count + 1)) return 0;
    std::memmove(track->keys + i + 1, track->keys + i,
                 static_cast<size_t>(track->count - i) * sizeof(SyncKey));
    track->keys[i] = *key;
    ++track->count;
    return 1;
}

int sync_del_key(SyncTrack* track, int32_t row)
{
    if (!track) return fail(SYNC_ERR_ARGUMENT);
    int32_t i = sync_find_key(track, row);
    if (i < 0) return 0;
    std::memmove(track->keys + i, track->keys + i + 1,
                 static_cast<size_t>(track->count - i - 1) * sizeof(SyncKey));
    --track->count;
    return 1;
}

int sync_track_path(const SyncDevice* device, const char* name, char* path, int32_t size)
{
    if (!device || !name || !path || size <= 0) return fail(SYNC_ERR_ARGUMENT);
    static const char hex[] = "0123456789ABCDEF";
    int32_t n = 0;
    auto put = [&](char c) {
        if (n < size - 1) path[n] = c;
        ++n;
    };
    for (const char* s = device->base; *s; ++s) put(*s);
    put('_');
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(name); *s; ++s) {
        unsigned char c = *s;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '/';
        if (plain) {
            put(static_cast<char>(c));
        } else {
            put('-');
            put(hex[c >> 4]);
            put(hex[c & 15]);
        }
    }
    for (const char* s = ".track"; *s; ++s) put(*s);
    if (n >= size) {
        path[size - 1] = 0;
        std::snprintf(sync_detail, sizeof sync_detail, "track \"%.200s\": name of %d bytes", name, n);
        return fail(SYNC_ERR_PATH);
    }
    path[n] = 0;
    return 1;
}

int sync_save_track(const SyncDevice* device, const SyncTrack* track)
{
    if (!device || !track) return fail(SYNC_ERR_ARGUMENT);
    char path[SYNC_MAX_PATH];
    if (!sync_track_path(device, track->name, path, SYNC_MAX_PATH)) return 0;
    uint32_t bytes = 4 + static_cast<uint32_t>(track->count) * SYNC_KEY_BYTES;
    uint8_t* data = static_cast<uint8_t*>(gmem_alloc(bytes));
    if (!data) return fail(SYNC_ERR_MEMORY);
    write_le32(data, static_cast<uint32_t>(track->count));
    for (int32_t i = 0; i < track->count; ++i) {
        uint8_t* p = data + 4 + i * SYNC_KEY_BYTES;
        uint32_t value;
        std::memcpy(&value, &track->keys[i].value, 4);
        write_le32(p, static_cast<uint32_t>(track->keys[i].row));
        write_le32(p + 4, value);
        p[8] = static_cast<uint8_t>(track->keys[i].type);
    }
    GioStream* stream = gio_open(path, "wb");
    if (!stream) {
        gmem_free(data);
        return fail_file(SYNC_ERR_WRITE, path, "cannot be created");
    }
    int32_t written = gio_write(data, static_cast<int32_t>(bytes), 1, stream);
    gio_close(stream);
    gmem_free(data);
    if (written != 1) return fail_file(SYNC_ERR_WRITE, path, "not written whole");
    return 1;
}

int sync_load_track(const SyncDevice* device, SyncTrack* track)
{
    if (!device || !track) return fail(SYNC_ERR_ARGUMENT);
    char path[SYNC_MAX_PATH];
    if (!sync_track_path(device, track->name, path, SYNC_MAX_PATH)) return 0;
    GioStream* stream = gio_open(path, "rb");
    if (!stream) return fail_file(SYNC_ERR_OPEN, path, "cannot be opened");
    intptr_t size = stream->device->control(stream, GIO_CTL_SIZE);
    uint8_t head[4];
    if (size < 4 || gio_read(head, 4, 1, stream) != 1) {
        gio_close(stream);
        return fail_file(SYNC_ERR_SHORT, path, "shorter than the 4-byte key count");
    }
    int32_t count = static_cast<int32_t>(read_le32(head));
    // The count against what the file holds before anything is allocated.
    if (count < 0 || count > SYNC_MAX_KEYS || count > (size - 4) / SYNC_KEY_BYTES) {
        gio_close(stream);
        char cause[96];
        std::snprintf(cause, sizeof cause, "%d keys, the file holds %ld", count,
                      static_cast<long>((size - 4) / SYNC_KEY_BYTES));
        return fail_file(SYNC_ERR_COUNT, path, cause);
    }
    uint32_t bytes = static_cast<uint32_t>(count) * SYNC_KEY_BYTES;
    uint8_t* data = count ? static_cast<uint8_t*>(gmem_alloc(bytes)) : nullptr;
    LoadedKey* loaded = count ? static_cast<LoadedKey*>(gmem_alloc(static_cast<uint32_t>(count) * sizeof(LoadedKey))) : nullptr;
    if (count && (!data || !loaded)) {
        if (data) gmem_free(data);
        if (loaded) gmem_free(loaded);
        gio_close(stream);
        return fail(SYNC_ERR_MEMORY);
    }
    int32_t got = count ? gio_read(data, static_cast<int32_t>(bytes), 1, stream) : 1;
    gio_close(stream);
    int result = 1;
    if (got != 1) {
        result = fail_file(SYNC_ERR_COUNT, path, "the keys end before the count");
    }
    bool sorted = true;
    for (int32_t i = 0; result && i < count; ++i) {
        const uint8_t* p = data + i * SYNC_KEY_BYTES;
        uint32_t value = read_le32(p + 4);
        loaded[i].key.row = static_cast<int32_t>(read_le32(p));
        std::memcpy(&loaded[i].key.value, &value, 4);
        loaded[i].key.type = p[8];
        loaded[i].order = i;
        if (p[8] >= SYNC_TYPE_COUNT) {
            char cause[96];
            std::snprintf(cause, sizeof cause, "key %d (row %d) has type %d", i, loaded[i].key.row, p[8]);
            result = fail_file(SYNC_ERR_TYPE, path, cause);
        }
        if (i > 0 && loaded[i].key.row <= loaded[i - 1].key.row) sorted = false;
    }
    if (result && !sorted) std::qsort(loaded, static_cast<size_t>(count), sizeof(LoadedKey), compare_loaded);
    // Keys of one row: the last in the file stays.
    int32_t kept = 0;
    for (int32_t i = 0; result && i < count; ++i) {
        if (i + 1 < count && loaded[i + 1].key.row == loaded[i].key.row) continue;
        loaded[kept++].key = loaded[i].key;
    }
    if (result && kept > track->capacity && !reserve(track, kept)) result = 0;
    if (result) {
        for (int32_t i = 0; i < kept; ++i) track->keys[i] = loaded[i].key;
        track->count = kept;
    }
    if (data) gmem_free(data);
    if (loaded) gmem_free(loaded);
    return result;
}

int sync_save_tracks(const SyncDevice* device)
{
    if (!device) return fail(SYNC_ERR_ARGUMENT);
    int result = 1;
    for (int32_t i = 0; i < device->count; ++i)
        if (!sync_save_track(device, device->tracks[i])) result = 0;
    return result;
}

int sync_load_tracks(SyncDevice* device)
{
    if (!device) return fail(SYNC_ERR_ARGUMENT);
    int result = 1;
    for (int32_t i = 0; i < device->count; ++i)
        if (!sync_load_track(device, device->tracks[i])) result = 0;
    return result;
}

const char* sync_error_string()
{
    int code = sync_error;
    sync_error = SYNC_ERR_NONE;
    if (code < 0 || code >= static_cast<int>(sizeof(sync_messages) / sizeof(sync_messages[0])))
        return "[Sync] Unknown error";
    return sync_messages[code];
}

const char* sync_error_detail() { return sync_detail; }
