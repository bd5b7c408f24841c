// The worker pool: threads made once that take the parts of one job at a
// time, and row jobs built on it. The calling thread takes parts too.
#include "engine/jobs/jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <emmintrin.h>

// ---- types -------------------------------------------------------------------

struct Job {
    JobsPartFn fn;
    void* context;
    int32_t parts;
    int workers;  // pool threads taking part: the first threads - 1
};

// A row job's parts: rows first .. first + rows_per_part - 1 each.
struct RowsJob {
    JobsRowsFn fn;
    void* context;
    int32_t rows, rows_per_part;
};

// ---- module state --------------------------------------------------------------

constexpr int JOBS_MAX_THREADS = 64;
constexpr std::chrono::microseconds JOBS_SPIN{50};  // waiting before sleeping

static struct {
    int threads;               // 0: not yet chosen
    bool set;                  // chosen by the caller or TAVIK_THREADS: any size pays
    JobsQueuedFn queued;       // work queued above the pool, or null
} jobs;

// The pool. Parts are taken through one 64-bit word, the job's number above
// the next part's: a worker that wakes late, after its job is done (or
// another began), takes nothing. The caller waits for the job's parts to be
// done, not for every worker to wake.
static struct Pool {
    std::mutex lock;
    std::condition_variable wake, done;
    std::vector<std::thread> workers;
    bool quit = false;
    uint32_t number = 0;  // of the current job
    std::atomic<uint32_t> posted{0};  // the same, for the workers' spin before they sleep
    Job job{};
    std::atomic<uint64_t> next{0};      // number << 32 | next part
    std::atomic<int32_t> finished{0};   // parts of the current job done

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

// Runs parts of job `number` until none is left.
static void take_parts(const Job& job, uint32_t number) {
    uint64_t v = pool.next.load(std::memory_order_acquire);
    for (;;) {
        if ((uint32_t)(v >> 32) != number || (int32_t)(uint32_t)v >= job.parts) return;
        if (!pool.next.compare_exchange_weak(v, v + 1, std::memory_order_acq_rel)) continue;
        job.fn(job.context, (int32_t)(uint32_t)v);
        if (pool.finished.fetch_add(1, std::memory_order_acq_rel) + 1 == job.parts) {
            std::lock_guard<std::mutex> g(pool.lock);
            pool.done.notify_one();
        }
        v = pool.next.load(std::memory_order_acquire);
    }
}

// Spins up to JOBS_SPIN while done() is false; returns done().
template <class Done>
static bool spin_until(Done done) {
    const auto until = std::chrono::steady_clock::now() + JOBS_SPIN;
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
        const Job job = pool.job;
        if (index >= job.workers) continue;  // the count was lowered since this thread was made
        g.unlock();
        take_parts(job, seen);
        g.lock();
    }
}

static int default_threads() {
    if (const char* env = std::getenv("TAVIK_THREADS")) {
        char* end;
        long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) {
            jobs.set = true;
            return (int)std::min<long>(n, JOBS_MAX_THREADS);
        }
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores < 1 ? 1 : (int)std::min<unsigned>(cores, JOBS_MAX_THREADS);
}

static void rows_part(void* context, int32_t part) {
    const RowsJob* r = static_cast<const RowsJob*>(context);
    const int32_t first = part * r->rows_per_part;
    r->fn(r->context, first, std::min(first + r->rows_per_part, r->rows));
}

// ---- public functions ------------------------------------------------------------

void jobs_set_threads(int count) {
    if (jobs.queued) jobs.queued(true);
    if (count <= 0) {
        jobs.set = false;
        jobs.threads = default_threads();
    } else {
        jobs.set = true;
        jobs.threads = std::min(count, JOBS_MAX_THREADS);
    }
}

int jobs_threads() {
    if (!jobs.threads) jobs.threads = default_threads();
    return jobs.threads;
}

bool jobs_worth(int64_t pixels) { return jobs_threads() > 1 && (jobs.set || pixels >= JOBS_MIN_PIXELS); }

uint32_t jobs_post(JobsPartFn fn, void* context, int32_t parts) {
    if (!jobs_done(pool.number)) jobs_finish(pool.number);  // one job at a time
    const int threads = jobs_threads();
    while ((int)pool.workers.size() < threads - 1) pool.workers.emplace_back(worker, (int)pool.workers.size());
    uint32_t number;
    {
        std::lock_guard<std::mutex> g(pool.lock);
        number = ++pool.number;
        pool.job = {fn, context, parts, threads - 1};
        pool.posted.store(number, std::memory_order_release);
        pool.finished.store(0, std::memory_order_relaxed);
        pool.next.store((uint64_t)number << 32, std::memory_order_release);
    }
    pool.wake.notify_all();
    return number;
}

// Only the drawing thread posts: pool.number and pool.job change on this
// thread alone, so it reads them without the lock.
bool jobs_done(uint32_t number) {
    return number != pool.number || pool.finished.load(std::memory_order_acquire) == pool.job.parts;
}

void jobs_finish(uint32_t number) {
    if (number != pool.number) return;  // a later job was posted: this one was finished first
    const Job& job = pool.job;
    take_parts(job, number);
    spin_until([&] { return pool.finished.load(std::memory_order_acquire) == job.parts; });
    if (pool.finished.load(std::memory_order_acquire) != job.parts) {
        std::unique_lock<std::mutex> g(pool.lock);
        pool.done.wait(g, [&] { return pool.finished.load(std::memory_order_acquire) == job.parts; });
    }
}

void jobs_parallel_rows(int32_t rows, int64_t pixels, JobsRowsFn fn, void* context) {
    if (rows <= 0 || !fn) return;
    if (jobs.queued) jobs.queued(false);  // what was queued before comes first
    if (rows < 2 || !jobs_worth(pixels)) {
        fn(context, 0, rows);
        return;
    }
    int32_t parts = std::min(jobs_threads() * JOBS_PARTS_PER_THREAD, rows);
    const int32_t rows_per_part = (rows + parts - 1) / parts;
    parts = (rows + rows_per_part - 1) / rows_per_part;
    RowsJob job = {fn, context, rows, rows_per_part};
    jobs_finish(jobs_post(rows_part, &job, parts));
}

void jobs_set_queued(JobsQueuedFn finish) { jobs.queued = finish; }
