// Banded drawing: a batch of queued triangles drawn at the flush by the worker
// pool (engine/jobs), each thread taking horizontal bands of the target and
// every triangle of the batch in order, so that the result is the one-thread result.
// Whatever touches the target, or a texture the queue reads, first draws the
// queue (the pixmap module's pixmap_finish calls back here).
#include <algorithm>
#include <climits>
#include <vector>

#include "engine/jobs/jobs.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed_zbuffer.h"
#include "engine/raster/raster.h"

// ---- types -------------------------------------------------------------------

struct QueuedTriangle {
    RasterSlot slot;
    float top, bottom;  // smallest and largest vertex y
    tpoly triangle;     // the fields the banded fills read
};

// A job of the pool: queue entries 0 .. count - 1 drawn into target, one part
// per band of band_rows rows.
struct TriangleJob {
    const QueuedTriangle* queue;
    size_t count;
    Pixmap* target;
    int32_t band_rows;
};

// ---- module state --------------------------------------------------------------

thread_local RasterBand raster_band = {INT32_MIN, INT32_MAX};

constexpr size_t BAND_QUEUE_LIMIT = 8192;  // triangles before an early flush
constexpr size_t BAND_CHUNK = 32;          // triangles handed to the workers while the caller queues on
constexpr int32_t BAND_MIN_ROWS = 8;       // a band's height at least
constexpr int BAND_TEXTURES = 8;           // distinct textures of a queue told apart

static struct {
    Pixmap* target;       // the open batch's target, or null
    bool banded;          // the open batch queues
    std::vector<QueuedTriangle> queue;  // entries 0 .. queued - 1 are the batch
    size_t queued;
    size_t started;  // entries 0 .. started - 1 are drawn, or being drawn by `running`
    bool running;    // a job of the pool's threads alone, while the caller queues on
    TriangleJob running_job;
    uint32_t running_number;
    // The textures the queued triangles read, so that writing one first draws
    // them; past BAND_TEXTURES any Pixmap touched draws the queue.
    const Pixmap* textures[BAND_TEXTURES];
    int texture_count;  // BAND_TEXTURES + 1: more than the list holds
} bands;

// ---- private helpers ---------------------------------------------------------

static void draw_band(void* context, int32_t band) {
    const TriangleJob& job = *static_cast<const TriangleJob*>(context);
    const int32_t first = band * job.band_rows;
    const int32_t end = std::min(first + job.band_rows, job.target->height);
    raster_band = {first, end};
    // A triangle draws only rows between trunc(top) and trunc(bottom).
    const float lo = (float)first - 1.0f, hi = (float)end + 1.0f;
    for (size_t i = 0; i < job.count; i++) {
        const QueuedTriangle& q = job.queue[i];
        if (q.bottom < lo || q.top > hi) continue;
        q.slot(const_cast<tpoly*>(&q.triangle), job.target);
    }
    raster_band = {INT32_MIN, INT32_MAX};
}

// The job of queue entries first .. end - 1 in bands of the open batch's
// target; *band_count receives its number of bands.
static TriangleJob triangle_job(size_t first, size_t end, int32_t* band_count) {
    Pixmap* target = bands.target;
    int32_t count = jobs_threads() * JOBS_PARTS_PER_THREAD;
    int32_t rows = (target->height + count - 1) / count;
    if (rows < BAND_MIN_ROWS) rows = BAND_MIN_ROWS;
    *band_count = (target->height + rows - 1) / rows;
    return {bands.queue.data() + first, end - first, target, rows};
}

// Draws the queue in bands on the pool and the calling thread, then empties
// it: the running job first (each band takes the triangles in order), then
// what was queued after it.
static void draw_queue() {
    if (bands.running) {
        jobs_finish(bands.running_number);
        bands.running = false;
    }
    if (bands.queued > bands.started) {
        int32_t band_count;
        TriangleJob job = triangle_job(bands.started, bands.queued, &band_count);
        jobs_finish(jobs_post(draw_band, &job, band_count));
    }
    bands.queued = bands.started = 0;
    bands.texture_count = 0;
}

static void note_texture(const Pixmap* texture) {
    for (int i = 0; i < bands.texture_count && i < BAND_TEXTURES; i++)
        if (bands.textures[i] == texture) return;
    if (bands.texture_count < BAND_TEXTURES)
        bands.textures[bands.texture_count++] = texture;
    else
        bands.texture_count = BAND_TEXTURES + 1;
}

// Whether the queue draws into or reads pixmap.
static bool queue_touches(const Pixmap* pixmap) {
    if (bands.queued == 0) return false;
    if (pixmap == bands.target || bands.texture_count > BAND_TEXTURES) return true;
    for (int i = 0; i < bands.texture_count; i++)
        if (bands.textures[i] == pixmap) return true;
    return false;
}

// While the caller transforms and clips, the pool draws: once the last
// running job is done, the triangles queued since go to the pool's threads.
static void start_chunk() {
    if (bands.running) {
        if (!jobs_done(bands.running_number)) return;
        bands.running = false;
    }
    if (bands.queued - bands.started < BAND_CHUNK) return;
    int32_t band_count;
    bands.running_job = triangle_job(bands.started, bands.queued, &band_count);
    bands.running_number = jobs_post(draw_band, &bands.running_job, band_count);
    bands.running = true;
    bands.started = bands.queued;
}

// What the pool finishes first (jobs_set_queued): the queue, and at a change
// of the thread count the batch.
static void finish_batch(bool end) {
    if (end)
        raster_flush();
    else if (bands.target)
        draw_queue();
}

// What every engine function that touches a Pixmap calls first
// (pixmap_finish): the queue when it draws into or reads that Pixmap, and the
// batch when its target is being destroyed.
static void finish_pixmap(const Pixmap* pixmap, bool release) {
    if (queue_touches(pixmap)) draw_queue();
    if (release && pixmap == bands.target) raster_flush();
}

// ---- public functions ------------------------------------------------------------

void raster_begin(Pixmap* target) {
    raster_flush();
    if (!target || !target->pixels || target->width <= 0 || target->height <= 0) return;
    bands.target = target;
    bands.banded = jobs_worth((int64_t)target->width * target->height);
    // The pool reads entries while more are queued: the storage never moves.
    if (bands.banded && bands.queue.capacity() < BAND_QUEUE_LIMIT) bands.queue.reserve(BAND_QUEUE_LIMIT);
    jobs_set_queued(finish_batch);
    pixmap_set_pending(finish_pixmap);
}

void raster_flush() {
    if (bands.target) draw_queue();
    bands.target = nullptr;
    bands.banded = false;
    jobs_set_queued(nullptr);
    pixmap_set_pending(nullptr);
}

bool raster_banded() { return bands.target && bands.banded; }

void raster_drain(const Pixmap* target) {
    if (queue_touches(target)) draw_queue();
}

// Called by raster_draw_triangle: queues the fill when the open batch bands
// this target and routine (returns 1), else draws what is queued first (0).
int raster_band_queue(RasterSlot slot, tpoly* t, Pixmap* target) {
    if (!bands.target) return 0;
    // A triangle that reads its own target as a texture reads what the ones
    // before it drew: drawn at once, after them.
    const bool textured = slot == fixed_zbuffer_draw_textured;
    if (!bands.banded || target != bands.target || (!textured && slot != fixed_zbuffer_draw_flat) ||
        (textured && t->texturemap == target)) {
        draw_queue();
        return 0;
    }
    if (bands.queued >= BAND_QUEUE_LIMIT) draw_queue();
    if (bands.queued == bands.queue.size()) bands.queue.emplace_back();  // within the reserved storage
    QueuedTriangle& q = bands.queue[bands.queued++];
    const vector* v = t->vertex;
    q.slot = slot;
    q.top = std::min({v[0].y, v[1].y, v[2].y});
    q.bottom = std::max({v[0].y, v[1].y, v[2].y});
    // What the banded fills read, not the whole record: the fill's flags,
    // colour and level, the corners, and the first layer's texture and
    // coordinates (the slot refuses an index outside the array itself).
    tpoly& c = q.triangle;
    c.flags = t->flags;
    c.colour = t->colour;
    c.flat_intensity = t->flat_intensity;
    c.vertex[0] = v[0];
    c.vertex[1] = v[1];
    c.vertex[2] = v[2];
    c.texturemap = t->texturemap;
    const int32_t first = t->uv_index[0];
    c.uv_index[0] = first;
    if (first >= 0 && first <= TPOLY_UV_FLOATS - 6)
        for (int k = 0; k < 6; k++) c.uv[first + k] = t->uv[first + k];
    if (textured) note_texture(t->texturemap);
    start_chunk();
    return 1;
}
