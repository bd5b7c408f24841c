// Banded drawing: a batch of queued triangles drawn at the flush by a pool of
// worker threads, each taking horizontal bands of the target and every
// triangle of the batch in order, so that the result is the one-thread result.
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed_zbuffer.h"
#include "engine/raster/raster.h"

// ---- types -------------------------------------------------------------------

struct QueuedTriangle {
    RasterSlot slot;
    float top, bottom;  // smallest and largest vertex y
    tpoly triangle;
};

// ---- module state --------------------------------------------------------------

thread_local RasterBand raster_band = {INT32_MIN, INT32_MAX};

constexpr int BAND_MAX_THREADS = 64;
constexpr size_t BAND_QUEUE_LIMIT = 8192;  // triangles before an early flush
constexpr int32_t BAND_MIN_ROWS = 8;       // a band's height at least
constexpr int BAND_PER_THREAD = 4;         // bands per thread, for balance

static struct {
    int threads;          // 0: not yet chosen
    bool set;             // chosen by the caller or TAVIK_THREADS: band at any size
    Pixmap* target;       // the open batch's target, or null
    bool banded;          // the open batch queues
    std::vector<QueuedTriangle> queue;
} bands;

// The pool: workers wait for a new generation, take bands until none is left,
// and report when they are done with it.
static struct Pool {
    std::mutex lock;
    std::condition_variable wake, done;
    std::vector<std::thread> workers;
    uint64_t generation = 0;
    int busy = 0;  // workers still in the current generation
    bool quit = false;
    // The current job.
    const QueuedTriangle* queue = nullptr;
    size_t count = 0;
    Pixmap* target = nullptr;
    int32_t band_count = 0, band_rows = 0;
    std::atomic<int32_t> next_band{0};

    ~Pool() {
        {
            std::lock_guard<std::mutex> g(lock);
            quit = true;
        }
        wake.notify_all();
        for (std::thread& w : workers) w.join();
    }
} pool;

// ---- private helpers ---------------------------------------------------------

static void draw_band(int32_t band) {
    const int32_t first = band * pool.band_rows;
    const int32_t end = std::min(first + pool.band_rows, pool.target->height);
    raster_band = {first, end};
    // A triangle draws only rows between trunc(top) and trunc(bottom).
    const float lo = (float)first - 1.0f, hi = (float)end + 1.0f;
    for (size_t i = 0; i < pool.count; i++) {
        const QueuedTriangle& q = pool.queue[i];
        if (q.bottom < lo || q.top > hi) continue;
        q.slot(const_cast<tpoly*>(&q.triangle), pool.target);
    }
    raster_band = {INT32_MIN, INT32_MAX};
}

static void take_bands() {
    for (int32_t b; (b = pool.next_band.fetch_add(1, std::memory_order_relaxed)) < pool.band_count;)
        draw_band(b);
}

static void worker() {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> g(pool.lock);
    for (;;) {
        pool.wake.wait(g, [&] { return pool.quit || pool.generation != seen; });
        if (pool.quit) return;
        seen = pool.generation;
        g.unlock();
        take_bands();
        g.lock();
        if (--pool.busy == 0) pool.done.notify_one();
    }
}

static int default_threads() {
    if (const char* env = std::getenv("TAVIK_THREADS")) {
        char* end;
        long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) {
            bands.set = true;
            return (int)std::min<long>(n, BAND_MAX_THREADS);
        }
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores < 1 ? 1 : (int)std::min<unsigned>(cores, BAND_MAX_THREADS);
}

// Draws the queue in bands on the pool and the calling thread, then empties it.
static void draw_queue() {
    if (bands.queue.empty()) return;
    Pixmap* target = bands.target;
    const int threads = raster_threads();
    int32_t band_count = threads * BAND_PER_THREAD;
    int32_t rows = (target->height + band_count - 1) / band_count;
    if (rows < BAND_MIN_ROWS) rows = BAND_MIN_ROWS;
    band_count = (target->height + rows - 1) / rows;
    while ((int)pool.workers.size() < threads - 1) pool.workers.emplace_back(worker);
    {
        std::lock_guard<std::mutex> g(pool.lock);
        pool.queue = bands.queue.data();
        pool.count = bands.queue.size();
        pool.target = target;
        pool.band_rows = rows;
        pool.band_count = band_count;
        pool.next_band.store(0, std::memory_order_relaxed);
        pool.busy = (int)pool.workers.size();
        pool.generation++;
    }
    pool.wake.notify_all();
    take_bands();
    {
        std::unique_lock<std::mutex> g(pool.lock);
        pool.done.wait(g, [] { return pool.busy == 0; });
    }
    bands.queue.clear();
}

// ---- public functions ------------------------------------------------------------

void raster_set_threads(int count) {
    if (count <= 0) {
        bands.set = false;
        bands.threads = default_threads();
    } else {
        bands.set = true;
        bands.threads = std::min(count, BAND_MAX_THREADS);
    }
}

int raster_threads() {
    if (!bands.threads) bands.threads = default_threads();
    return bands.threads;
}

void raster_begin(Pixmap* target) {
    raster_flush();
    if (!target || !target->pixels || target->width <= 0 || target->height <= 0) return;
    const int threads = raster_threads();
    bands.target = target;
    bands.banded = threads > 1 && (bands.set || (int64_t)target->width * target->height >= RASTER_BAND_MIN_PIXELS);
    if (bands.banded && bands.queue.capacity() < 1024) bands.queue.reserve(1024);
}

void raster_flush() {
    if (bands.target) draw_queue();
    bands.target = nullptr;
    bands.banded = false;
}

void raster_drain(const Pixmap* target) {
    if (bands.target == target) draw_queue();
}

// Called by raster_draw_triangle: queues the fill when the open batch bands
// this target and routine (returns 1), else draws what is queued first (0).
int raster_band_queue(RasterSlot slot, tpoly* t, Pixmap* target) {
    if (!bands.target) return 0;
    if (!bands.banded || target != bands.target ||
        (slot != fixed_zbuffer_draw_textured && slot != fixed_zbuffer_draw_flat)) {
        draw_queue();
        return 0;
    }
    if (bands.queue.size() >= BAND_QUEUE_LIMIT) draw_queue();
    const vector* v = t->vertex;
    bands.queue.push_back({slot, std::min({v[0].y, v[1].y, v[2].y}), std::max({v[0].y, v[1].y, v[2].y}), *t});
    return 1;
}
