// Banded drawing: a batch of queued triangles drawn at the flush by a pool of
// worker threads, each taking horizontal bands of the target and every
// triangle of the batch in order, so that the result is the one-thread result.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <emmintrin.h>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed_zbuffer.h"
#include "engine/raster/raster.h"

// ---- types -------------------------------------------------------------------

struct QueuedTriangle {
    RasterSlot slot;
    float top, bottom;  // smallest and largest vertex y
    tpoly triangle;     // the fields the banded fills read
};

// ---- module state --------------------------------------------------------------

thread_local RasterBand raster_band = {INT32_MIN, INT32_MAX};

constexpr int BAND_MAX_THREADS = 64;
constexpr size_t BAND_QUEUE_LIMIT = 8192;  // triangles before an early flush
constexpr size_t BAND_CHUNK = 32;          // triangles handed to the workers while the caller queues on
constexpr int32_t BAND_MIN_ROWS = 8;       // a band's height at least
constexpr int BAND_PER_THREAD = 4;         // bands per thread, for balance
constexpr std::chrono::microseconds BAND_SPIN{50};  // waiting before sleeping

// The pool. A job is one flush: bands 0 .. band_count - 1 of the target, each
// drawn by whichever thread takes it. Bands are taken through one 64-bit word,
// the job's number above the next band's: a worker that wakes late, after its
// job is done (or another began), takes nothing. The caller waits for the
// job's bands to be drawn, not for every worker to wake.
struct BandJob {
    const QueuedTriangle* queue;  // a batch of triangles into target, or
    size_t count;
    Pixmap* target;
    RasterRowsFn rows_fn;  // (if set) a row job: rows_fn over rows 0 .. rows - 1
    void* context;
    int32_t rows;
    int32_t band_count, band_rows;
    int workers;  // pool threads taking part: the first threads - 1
};

static struct {
    int threads;          // 0: not yet chosen
    bool set;             // chosen by the caller or TAVIK_THREADS: band at any size
    Pixmap* target;       // the open batch's target, or null
    bool banded;          // the open batch queues
    std::vector<QueuedTriangle> queue;  // entries 0 .. queued - 1 are the batch
    size_t queued;
    size_t started;  // entries 0 .. started - 1 are drawn, or being drawn by `running`
    bool running;    // a job of the pool's threads alone, while the caller queues on
    BandJob running_job;
    uint32_t running_number;
} bands;

static struct Pool {
    std::mutex lock;
    std::condition_variable wake, done;
    std::vector<std::thread> workers;
    bool quit = false;
    uint32_t number = 0;  // of the current job
    std::atomic<uint32_t> posted{0};  // the same, for the workers' spin before they sleep
    BandJob job{};
    std::atomic<uint64_t> next{0};      // number << 32 | next band
    std::atomic<int32_t> drawn{0};      // bands of the current job finished

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

static void draw_band(const BandJob& job, int32_t band) {
    const int32_t first = band * job.band_rows;
    if (job.rows_fn) {
        job.rows_fn(job.context, first, std::min(first + job.band_rows, job.rows));
        return;
    }
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

// Draws bands of job `number` until none is left.
static void take_bands(const BandJob& job, uint32_t number) {
    uint64_t v = pool.next.load(std::memory_order_acquire);
    for (;;) {
        if ((uint32_t)(v >> 32) != number || (int32_t)(uint32_t)v >= job.band_count) return;
        if (!pool.next.compare_exchange_weak(v, v + 1, std::memory_order_acq_rel)) continue;
        draw_band(job, (int32_t)(uint32_t)v);
        if (pool.drawn.fetch_add(1, std::memory_order_acq_rel) + 1 == job.band_count) {
            std::lock_guard<std::mutex> g(pool.lock);
            pool.done.notify_one();
        }
        v = pool.next.load(std::memory_order_acquire);
    }
}

// Spins up to BAND_SPIN while done() is false; returns done().
template <class Done>
static bool spin_until(Done done) {
    const auto until = std::chrono::steady_clock::now() + BAND_SPIN;
    for (int i = 1;; i++) {
        if (done()) return true;
        _mm_pause();
        if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return done();
    }
}

static void worker(int index) {
    uint32_t seen = 0;
    std::unique_lock<std::mutex> g(pool.lock);
    for (;;) {
        // The jobs of a frame come close together: a short spin before
        // sleeping spares the wake-up.
        g.unlock();
        spin_until([&] { return pool.posted.load(std::memory_order_acquire) != seen; });
        g.lock();
        pool.wake.wait(g, [&] { return pool.quit || pool.number != seen; });
        if (pool.quit) return;
        seen = pool.number;
        const BandJob job = pool.job;
        if (index >= job.workers) continue;  // the count was lowered since this thread was made
        g.unlock();
        take_bands(job, seen);
        g.lock();
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

// Hands a job's bands to the pool's threads; returns its number at once.
static uint32_t post_job(BandJob& job) {
    const int threads = raster_threads();
    while ((int)pool.workers.size() < threads - 1) pool.workers.emplace_back(worker, (int)pool.workers.size());
    job.workers = threads - 1;
    uint32_t number;
    {
        std::lock_guard<std::mutex> g(pool.lock);
        number = ++pool.number;
        pool.job = job;
        pool.posted.store(number, std::memory_order_release);
        pool.drawn.store(0, std::memory_order_relaxed);
        pool.next.store((uint64_t)number << 32, std::memory_order_release);
    }
    pool.wake.notify_all();
    return number;
}

// Takes part in the posted job until its bands are all drawn.
static void finish_job(const BandJob& job, uint32_t number) {
    take_bands(job, number);
    spin_until([&] { return pool.drawn.load(std::memory_order_acquire) == job.band_count; });
    if (pool.drawn.load(std::memory_order_acquire) != job.band_count) {
        std::unique_lock<std::mutex> g(pool.lock);
        pool.done.wait(g, [&] { return pool.drawn.load(std::memory_order_acquire) == job.band_count; });
    }
}

// Runs a job's bands on the pool and the calling thread; returns when all are done.
static void run_job(BandJob job) {
    const uint32_t number = post_job(job);
    finish_job(job, number);
}

// The job of queue entries first .. end - 1 in bands of the open batch's target.
static BandJob triangle_job(size_t first, size_t end) {
    Pixmap* target = bands.target;
    int32_t band_count = raster_threads() * BAND_PER_THREAD;
    int32_t rows = (target->height + band_count - 1) / band_count;
    if (rows < BAND_MIN_ROWS) rows = BAND_MIN_ROWS;
    band_count = (target->height + rows - 1) / rows;
    return {bands.queue.data() + first, end - first, target, nullptr, nullptr, 0, band_count, rows, 0};
}

// Draws the queue in bands on the pool and the calling thread, then empties
// it: the running job first (each band takes the triangles in order), then
// what was queued after it.
static void draw_queue() {
    if (bands.running) {
        finish_job(bands.running_job, bands.running_number);
        bands.running = false;
    }
    if (bands.queued > bands.started) run_job(triangle_job(bands.started, bands.queued));
    bands.queued = bands.started = 0;
}

// While the caller transforms and clips, the pool draws: once the last
// running job is done, the triangles queued since go to the pool's threads.
static void start_chunk() {
    if (bands.running) {
        if (pool.drawn.load(std::memory_order_acquire) != bands.running_job.band_count) return;
        bands.running = false;
    }
    if (bands.queued - bands.started < BAND_CHUNK) return;
    bands.running_job = triangle_job(bands.started, bands.queued);
    bands.running_number = post_job(bands.running_job);
    bands.running = true;
    bands.started = bands.queued;
}

// ---- public functions ------------------------------------------------------------

void raster_set_threads(int count) {
    raster_flush();
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
    // The pool reads entries while more are queued: the storage never moves.
    if (bands.banded && bands.queue.capacity() < BAND_QUEUE_LIMIT) bands.queue.reserve(BAND_QUEUE_LIMIT);

}

void raster_flush() {
    if (bands.target) draw_queue();
    bands.target = nullptr;
    bands.banded = false;
}

bool raster_banded() { return bands.target && bands.banded; }

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
    start_chunk();
    return 1;
}

void raster_parallel_rows(int32_t rows, int64_t pixels, RasterRowsFn fn, void* context) {
    if (rows <= 0 || !fn) return;
    if (bands.target) draw_queue();  // what was drawn before comes first
    const int threads = raster_threads();
    if (threads < 2 || rows < 2 || !(bands.set || pixels >= RASTER_BAND_MIN_PIXELS)) {
        fn(context, 0, rows);
        return;
    }
    int32_t band_count = std::min(threads * BAND_PER_THREAD, rows);
    const int32_t band_rows = (rows + band_count - 1) / band_count;
    band_count = (rows + band_rows - 1) / band_rows;
    run_job({nullptr, 0, nullptr, fn, context, rows, band_count, band_rows, 0});
}
