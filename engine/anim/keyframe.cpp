// Keyframe tracks: the key list, preparation into segment tables (or a rotation
// interpolator) and evaluation by linear, Kochanek-Bartels and B-spline curves.
// Records come from GMEM; a failed operation leaves a track exactly as it was.
#include "engine/anim/keyframe.h"

#include "engine/math/quat.h"
#include "engine/memory/gmem.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

// A channel count beyond this cannot be a real track; refusing it keeps every
// block size well inside GMEM's 32-bit sizes.
static constexpr int KEYFRAME_MAX_CHANNELS = 1 << 20;

static int keyframe_error = KEYFRAME_ERR_NONE;

static const char* const keyframe_messages[] = {
    "[Keyframe] No error, so far...",
    "[Keyframe] Unable to allocate memory",
    "[Keyframe] Algorithm not supported, yet",
    "[Keyframe] Bad algorithm value set",
    "[Keyframe] A rotation must have 4 channels",
    "[Keyframe] Unknown error",
    "[Keyframe] Rotation type require preprocessing",
};

static bool is_envelope(const keyframe* track) { return track->type == KEYFRAME_TYPE_ENVELOPE; }

static uint32_t key_bytes(int channels)
{
    return static_cast<uint32_t>(sizeof(keyframe_key) + sizeof(float) * static_cast<uint32_t>(channels));
}

static void table_free(keyframe_table* table)
{
    if (!table) return;
    if (table->points) gmem_free(table->points);
    if (table->segments) gmem_free(table->segments);
    gmem_free(table);
}

// Prepared data is told apart by the track's type: a table for envelopes,
// the quaternion interpolator for rotations.
static void prepared_free(const keyframe* track, void* prepared)
{
    if (!prepared) return;
    if (is_envelope(track))
        table_free(static_cast<keyframe_table*>(prepared));
    else
        rotation_spline_free(static_cast<rotation_spline*>(prepared));
}

keyframe* keyframe_create(int type, int channels)
{
    if (type == KEYFRAME_TYPE_ROTATION && channels != 4) {
        keyframe_error = KEYFRAME_ERR_ROTATION_CHANNELS;
        return nullptr;
    }
    // Any other type would be taken for a rotation by evaluation and preparation,
    // which read four channels whatever the count: refuse it here.
    if (type != KEYFRAME_TYPE_ROTATION && type != KEYFRAME_TYPE_ENVELOPE) {
        keyframe_error = KEYFRAME_ERR_UNSUPPORTED;
        return nullptr;
    }
    if (channels < 0 || channels > KEYFRAME_MAX_CHANNELS) {
        keyframe_error = KEYFRAME_ERR_MEMORY;
        return nullptr;
    }
    uint32_t bytes = static_cast<uint32_t>(sizeof(keyframe) + sizeof(float) * static_cast<uint32_t>(channels));
    keyframe* track = static_cast<keyframe*>(gmem_alloc(bytes));
    if (!track) {
        keyframe_error = KEYFRAME_ERR_MEMORY;
        return nullptr;
    }
    std::memset(track, 0, bytes);  // GMEM zeroes only while its option says so
    track->channels = channels;
    track->type = type;
    track->algorithm = KEYFRAME_ALGO_LINEAR;
    return track;
}

keyframe* keyframe_create_keys(int count, int type, int algorithm, int channels,
                               const float* times, const float* tensions,
                               const float* continuities, const float* biases,
                               const float* values)
{
    keyframe* track = keyframe_create(type, channels);
    if (!track) return nullptr;
    track->algorithm = algorithm;
    for (int i = 0; i < count; i++) {
        if (!keyframe_add_key(track, times ? times[i] : 0.0f, tensions ? tensions[i] : 0.0f,
                              continuities ? continuities[i] : 0.0f, biases ? biases[i] : 0.0f,
                              values ? values + static_cast<size_t>(i) * channels : nullptr)) {
            keyframe_destroy(track);
            keyframe_error = KEYFRAME_ERR_MEMORY;
            return nullptr;
        }
    }
    return track;
}

keyframe_key* keyframe_new_key(keyframe* track)
{
    if (!track) return nullptr;
    uint32_t bytes = key_bytes(track->channels);
    keyframe_key* key = static_cast<keyframe_key*>(gmem_alloc(bytes));
    if (!key) {
        keyframe_error = KEYFRAME_ERR_MEMORY;
        return nullptr;
    }
    std::memset(key, 0, bytes);
    return key;
}

int keyframe_add_key(keyframe* track, float time, float tension, float continuity, float bias,
                     const float* values)
{
    keyframe_key* key = keyframe_new_key(track);
    if (!key) return 0;
    key->time = time;
    key->tension = tension;
    key->continuity = continuity;
    key->bias = bias;
    if (values) std::memcpy(key->values, values, sizeof(float) * static_cast<size_t>(track->channels));
    return keyframe_insert_key(track, key);
}

int keyframe_insert_key(keyframe* track, keyframe_key* key)
{
    if (!track || !key) return 0;
    // Stop at the first key not earlier than the new one: equal times go first.
    keyframe_key* prev = nullptr;
    keyframe_key* cur = track->keys;
    while (cur && key->time > cur->time) {
        prev = cur;
        cur = cur->next;
    }
    key->prev = prev;
    key->next = cur;
    if (cur) cur->prev = key;
    if (prev)
        prev->next = key;
    else
        track->keys = key;
    return 1;
}

void keyframe_free_key(keyframe_key* key)
{
    if (key) gmem_free(key);
}

void keyframe_destroy(keyframe* track)
{
    if (!track) return;
    keyframe_key* key = track->keys;
    while (key) {
        keyframe_key* next = key->next;
        gmem_free(key);
        key = next;
    }
    prepared_free(track, track->prepared);
    gmem_free(track);
}

// The rotation interpolator from the keys, each handed over as eight doubles.
static rotation_spline* prepare_rotation(const keyframe* track, int count)
{
    uint64_t bytes = static_cast<uint64_t>(count) * ROTATION_KEY_DOUBLES * sizeof(double);
    double* keys = bytes <= UINT32_MAX ? static_cast<double*>(gmem_alloc(static_cast<uint32_t>(bytes))) : nullptr;
    if (!keys) return nullptr;
    double* k = keys;
    for (const keyframe_key* key = track->keys; key; key = key->next, k += ROTATION_KEY_DOUBLES) {
        k[0] = key->time;
        for (int c = 0; c < 4; c++) k[1 + c] = key->values[c];
        k[5] = key->tension;
        k[6] = key->continuity;
        k[7] = key->bias;
    }
    rotation_spline* spline = rotation_spline_build(count, keys);
    gmem_free(keys);
    return spline;
}

// a / b, or 0 where keys sharing one time would make it infinite.
static float safe_ratio(float a, float b) { return b != 0.0f ? a / b : 0.0f; }
static float safe_inverse(double span) { return span != 0.0 ? static_cast<float>(1.0 / span) : 0.0f; }

// The segment table of an envelope track with count keys (count >= 1, and >= 3
// for the cubic algorithms). Null when memory runs out, with nothing left taken.
static keyframe_table* prepare_table(const keyframe* track, int count)
{
    const int algorithm = track->algorithm;
    const int channels = track->channels;
    const int off = algorithm == KEYFRAME_ALGO_LINEAR ? 0 : 1;  // row of the first key
    const int points = count + 2 * off;
    const int nseg = points - 1;

    uint64_t seg_bytes = static_cast<uint64_t>(nseg) * sizeof(keyframe_segment);
    uint64_t row_bytes = static_cast<uint64_t>(points) * static_cast<uint64_t>(channels) * sizeof(float);
    if (seg_bytes > UINT32_MAX || row_bytes > UINT32_MAX) return nullptr;

    keyframe_table* table = static_cast<keyframe_table*>(gmem_alloc(sizeof(keyframe_table)));
    if (!table) return nullptr;
    std::memset(table, 0, sizeof(keyframe_table));
    if (nseg > 0) {
        table->segments = static_cast<keyframe_segment*>(gmem_alloc(static_cast<uint32_t>(seg_bytes)));
        if (!table->segments) {
            table_free(table);
            return nullptr;
        }
        std::memset(table->segments, 0, seg_bytes);
    }
    table->points = static_cast<float*>(gmem_alloc(static_cast<uint32_t>(row_bytes)));
    if (!table->points) {
        table_free(table);
        return nullptr;
    }
    table->algorithm = algorithm;
    table->count = nseg;

    float* rows = table->points;
    auto row = [rows, channels](int i) { return rows + static_cast<size_t>(i) * channels; };
    keyframe_segment* seg = table->segments;

    int i = 0;
    for (const keyframe_key* a = track->keys; a; a = a->next, i++) {
        std::memcpy(row(i + off), a->values, sizeof(float) * static_cast<size_t>(channels));
        const keyframe_key* b = a->next;
        if (!b) break;
        keyframe_segment& s = seg[i + off];
        s.t0 = a->time;
        s.t1 = static_cast<float>(static_cast<double>(b->time) - 1e-9);
        s.inv = safe_inverse(static_cast<double>(b->time) - a->time);
        s.p0 = row(i + off);
        s.p1 = row(i + off + 1);
    }

    const float first_time = track->keys->time;
    if (algorithm == KEYFRAME_ALGO_LINEAR) {
        table->start = nseg > 0 ? seg[0].t0 : first_time;
        table->end = nseg > 0 ? seg[nseg - 1].t1 : first_time;
        return table;
    }

    // Phantom segments give the first and last real segments a neighbour each.
    table->start = seg[1].t0;
    table->end = seg[count - 1].t1;
    keyframe_segment& head = seg[0];
    head.t1 = static_cast<float>(static_cast<double>(first_time) - 1e-9);
    head.t0 = first_time - (seg[1].t1 - first_time) * 0.5f;
    head.inv = safe_inverse(static_cast<double>(head.t1) - head.t0);
    head.p0 = row(0);
    head.p1 = row(1);
    keyframe_segment& tail = seg[count];
    tail.t0 = seg[count - 1].t1;
    tail.t1 = tail.t0 + (tail.t0 - seg[count - 1].t0) * 0.5f;
    tail.inv = safe_inverse(static_cast<double>(tail.t1) - tail.t0);
    tail.p0 = row(count);
    tail.p1 = row(count + 1);

    // Phantom points continue the curve of the three keys next to them.
    for (int c = 0; c < channels; c++) {
        row(0)[c] = (7.0f * row(1)[c] - 4.0f * row(2)[c] + row(3)[c]) * 0.25f;
        row(count + 1)[c] = (7.0f * row(count)[c] - 4.0f * row(count - 1)[c] + row(count - 2)[c]) * 0.25f;
    }

    if (algorithm == KEYFRAME_ALGO_TCB) {
        const keyframe_key* a = track->keys;
        for (int s = 1; s <= count - 1; s++, a = a->next) {
            const keyframe_key* b = a->next;
            float span = seg[s].t1 - seg[s].t0;
            float e = safe_ratio(span, seg[s + 1].t0 - seg[s - 1].t0);
            float d = safe_ratio(span, seg[s + 1].t1 - seg[s - 1].t1);
            seg[s].f0 = e * (1.0f - a->tension) * (1.0f + a->continuity) * (1.0f + a->bias);
            seg[s].f1 = e * (1.0f - a->tension) * (1.0f - a->continuity) * (1.0f - a->bias);
            seg[s].f2 = d * (1.0f - b->tension) * (1.0f - b->continuity) * (1.0f + b->bias);
            seg[s].f3 = d * (1.0f - b->tension) * (1.0f + b->continuity) * (1.0f - b->bias);
        }
    }
    return table;
}

int keyframe_prepare(keyframe* track)
{
    if (!track) return 0;
    int count = 0;
    for (const keyframe_key* key = track->keys; key; key = key->next) count++;

    // Everything is checked and built before the old data goes, so a refusal or a
    // failed allocation leaves the track as it was.
    void* prepared;
    if (!is_envelope(track)) {
        if (count < 4) {  // no key pair would have neighbours on both sides
            keyframe_error = KEYFRAME_ERR_ALGORITHM;
            return 0;
        }
        prepared = prepare_rotation(track, count);
    } else {
        int algorithm = track->algorithm;
        bool known = algorithm == KEYFRAME_ALGO_LINEAR || algorithm == KEYFRAME_ALGO_TCB ||
                     algorithm == KEYFRAME_ALGO_BSPLINE;
        // The cubic curves' phantom points are built from three keys.
        if (!known || count < 1 || (algorithm != KEYFRAME_ALGO_LINEAR && count < 3)) {
            keyframe_error = KEYFRAME_ERR_ALGORITHM;
            return 0;
        }
        prepared = prepare_table(track, count);
    }
    if (!prepared) {
        keyframe_error = KEYFRAME_ERR_MEMORY;
        return 0;
    }
    prepared_free(track, track->prepared);
    track->prepared = prepared;
    return 1;
}

// The four points around a segment and their tangent factors, for one evaluation.
struct curve_span {
    const float* pm;  // previous point (P-1), or null
    const float* p0;
    const float* p1;
    const float* p2;  // next point (P2), or null
    float f0, f1, f2, f3;
    float u;
};

static void curve_linear(keyframe* track, const curve_span& s)
{
    for (int c = 0; c < track->channels; c++) track->values[c] = s.p0[c] + (s.p1[c] - s.p0[c]) * s.u;
}

static void curve_tcb(keyframe* track, const curve_span& s)
{
    float u = s.u, u2 = u * u, u3 = u2 * u;
    float h1 = 2.0f * u3 - 3.0f * u2 + 1.0f;
    float h2 = 3.0f * u2 - 2.0f * u3;
    float h3 = u3 - 2.0f * u2 + u;
    float h4 = u3 - u2;
    for (int c = 0; c < track->channels; c++) {
        float t0 = s.f0 * (s.p0[c] - s.pm[c]) + s.f1 * (s.p1[c] - s.p0[c]);
        float t1 = s.f2 * (s.p1[c] - s.p0[c]) + s.f3 * (s.p2[c] - s.p1[c]);
        track->values[c] = h1 * s.p0[c] + h2 * s.p1[c] + h3 * t0 + h4 * t1;
    }
}

static void curve_bspline(keyframe* track, const curve_span& s)
{
    float u = s.u, u2 = u * u, u3 = u2 * u;
    float b0 = 1.0f - 3.0f * u + 3.0f * u2 - u3;
    float b1 = 4.0f - 6.0f * u2 + 3.0f * u3;
    float b2 = 1.0f + 3.0f * u + 3.0f * u2 - 3.0f * u3;
    float b3 = u3;
    for (int c = 0; c < track->channels; c++)
        track->values[c] =
            (b0 * s.pm[c] + b1 * s.p0[c] + b2 * s.p1[c] + b3 * s.p2[c]) * static_cast<float>(0.16666666666666666);
}

static void copy_values(keyframe* track, const float* from)
{
    std::memcpy(track->values, from, sizeof(float) * static_cast<size_t>(track->channels));
}

static void evaluate_prepared(keyframe* track, const keyframe_table* table, float time)
{
    const bool linear = table->algorithm == KEYFRAME_ALGO_LINEAR;
    // Real segments only: the phantom segments at either end exist to be read as
    // neighbours, and phantom segment 0 has no neighbour before it.
    const int lo = linear ? 0 : 1;
    const int hi = linear ? table->count - 1 : table->count - 2;
    if (hi < lo) {  // a linear track of one key
        copy_values(track, table->points);
        return;
    }
    float t = time < table->start ? table->start : (time > table->end ? table->end : time);
    const keyframe_segment* seg = table->segments;
    int i = lo;
    while (i < hi && !(seg[i].t1 >= t)) i++;

    curve_span s{};
    s.p0 = seg[i].p0;
    s.p1 = seg[i].p1;
    s.u = (t - seg[i].t0) * seg[i].inv;
    if (linear) {
        curve_linear(track, s);
        return;
    }
    s.pm = seg[i - 1].p0;
    s.p2 = seg[i + 1].p1;
    s.f0 = seg[i].f0;
    s.f1 = seg[i].f1;
    s.f2 = seg[i].f2;
    s.f3 = seg[i].f3;
    if (table->algorithm == KEYFRAME_ALGO_TCB)
        curve_tcb(track, s);
    else
        curve_bspline(track, s);
}

static void evaluate_keys(keyframe* track, float time)
{
    const keyframe_key* k0 = track->keys;
    if (!k0->next || time < k0->time) {
        copy_values(track, k0->values);
        return;
    }
    while (k0->next && !(time < k0->next->time)) k0 = k0->next;
    if (!k0->next) {
        copy_values(track, k0->values);
        return;
    }
    const keyframe_key* k1 = k0->next;
    curve_span s{};
    s.p0 = k0->values;
    s.p1 = k1->values;
    s.u = (time - k0->time) / (k1->time - k0->time);
    if (track->algorithm == KEYFRAME_ALGO_LINEAR) {
        curve_linear(track, s);
        return;
    }
    // Without phantom points the outer segments have no neighbour: they hold a key.
    const keyframe_key* kp = k0->prev;
    const keyframe_key* kn = k1->next;
    if (!kp) {
        copy_values(track, k1->values);
        return;
    }
    if (!kn) {
        copy_values(track, k0->values);
        return;
    }
    s.pm = kp->values;
    s.p2 = kn->values;
    if (track->algorithm == KEYFRAME_ALGO_TCB) {
        float span = k1->time - k0->time;
        float e = span / (k1->time - kp->time);
        float d = span / (kn->time - k0->time);
        s.f0 = e * (1.0f - k0->tension) * (1.0f + k0->continuity) * (1.0f + k0->bias);
        s.f1 = e * (1.0f - k0->tension) * (1.0f - k0->continuity) * (1.0f - k0->bias);
        s.f2 = d * (1.0f - k1->tension) * (1.0f - k1->continuity) * (1.0f + k1->bias);
        s.f3 = d * (1.0f - k1->tension) * (1.0f + k1->continuity) * (1.0f - k1->bias);
        curve_tcb(track, s);
    } else {
        curve_bspline(track, s);
    }
}

float* keyframe_evaluate(keyframe* track, float time)
{
    if (!track || !track->keys) return nullptr;
    if (!is_envelope(track)) {
        if (!track->prepared) {
            keyframe_error = KEYFRAME_ERR_ROTATION_PREPARE;
            return nullptr;
        }
        double out[4];
        rotation_spline_evaluate(static_cast<const rotation_spline*>(track->prepared), time, out);
        for (int c = 0; c < 4; c++) track->values[c] = static_cast<float>(out[c]);
        return track->values;
    }
    int algorithm = track->algorithm;
    if (algorithm != KEYFRAME_ALGO_LINEAR && algorithm != KEYFRAME_ALGO_TCB && algorithm != KEYFRAME_ALGO_BSPLINE) {
        keyframe_error = KEYFRAME_ERR_ALGORITHM;
        return nullptr;
    }
    // A table is read by the algorithm it was built for: its layout depends on it.
    if (track->prepared)
        evaluate_prepared(track, static_cast<const keyframe_table*>(track->prepared), time);
    else
        evaluate_keys(track, time);
    return track->values;
}

void keyframe_dump_keys(const keyframe* track)
{
    if (!track) return;
    for (const keyframe_key* key = track->keys; key; key = key->next) {
        std::printf("-----[ Keyframe key ]----------\n");
        std::printf("Adress:       0x%.6" PRIxPTR "\n", reinterpret_cast<uintptr_t>(key));
        std::printf("Time:         %0.3f\n", static_cast<double>(key->time));
        std::printf("Next key:     0x%.6" PRIxPTR "\n", reinterpret_cast<uintptr_t>(key->next));
        std::printf("Previous key: 0x%.6" PRIxPTR "\n", reinterpret_cast<uintptr_t>(key->prev));
    }
}

const char* keyframe_error_string()
{
    int code = keyframe_error;
    keyframe_error = KEYFRAME_ERR_NONE;
    if (code < 0 || code >= static_cast<int>(sizeof(keyframe_messages) / sizeof(keyframe_messages[0])))
        code = 5;
    return keyframe_messages[code];
}
