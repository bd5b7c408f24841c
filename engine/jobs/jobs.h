// The worker pool: work split into parts that run on every core, made once
// and shared by the rasterizers' bands, the display drivers' conversions and
// the demo's backgrounds and filters. Everything here is called from one
// thread, the one that draws; only the parts run elsewhere.
#pragma once

#include <cstdint>
#include <type_traits>

// Sets the thread count: 1 is the single-thread path; 0 goes back to the
// default (TAVIK_THREADS=N from the environment if set, otherwise the
// machine's cores). A count that was set (here or by TAVIK_THREADS) makes work
// of every size parallel; the default only work of at least JOBS_MIN_PIXELS,
// where it pays. Work queued for the pool (see jobs_set_queued) is finished first.
void jobs_set_threads(int count);
// The thread count in use (1 or more).
int jobs_threads();
// Whether work touching this many pixels goes to the pool: more than one
// thread, and a count that was set or at least JOBS_MIN_PIXELS.
bool jobs_worth(int64_t pixels);

// Default threshold of parallel work, from measurements (see docs/pipeline.md).
constexpr int64_t JOBS_MIN_PIXELS = 640 * 480;
// Parts a job is cut into per thread, for balance.
constexpr int JOBS_PARTS_PER_THREAD = 4;

// Work on every core: calls fn(context, first, end) for consecutive ranges
// first <= row < end that together cover rows 0 .. rows - 1, on the pool when
// jobs_worth(pixels) (pixels: the size the work touches); otherwise once,
// fn(context, 0, rows), on the calling thread. Ranges run in any order and at
// once: fn must write only what its rows own, and so gives the same bytes for
// any thread count. Returns when every range is done; queued work (see
// jobs_set_queued) is drawn first. Not to be called from inside fn.
typedef void (*JobsRowsFn)(void* context, int32_t first, int32_t end);
void jobs_parallel_rows(int32_t rows, int64_t pixels, JobsRowsFn fn, void* context);

// The same with a callable f(first, end), for example a lambda.
template <class F>
void jobs_parallel_rows(int32_t rows, int64_t pixels, F&& f) {
    using Fn = std::remove_reference_t<F>;
    jobs_parallel_rows(
        rows, pixels, [](void* c, int32_t first, int32_t end) { (*static_cast<Fn*>(c))(first, end); },
        const_cast<void*>(static_cast<const void*>(&f)));
}

// ---- parts: the pool's own interface, for a user that keeps a queue --------

// A job of parts 0 .. parts - 1: fn(context, part) runs once for each, on
// whichever thread takes it. context must stay valid until the job is done.
typedef void (*JobsPartFn)(void* context, int32_t part);
// Hands a job to the pool's threads and returns its number at once (an
// unfinished job before it is finished first). parts >= 1.
uint32_t jobs_post(JobsPartFn fn, void* context, int32_t parts);
// Whether every part of job number is done.
bool jobs_done(uint32_t number);
// Takes parts of job number on the calling thread until every part is done.
void jobs_finish(uint32_t number);

// Work queued above the pool that must come first: the rasterizers' open batch
// of triangles registers finish here while it is open, null when it ends.
// jobs_parallel_rows calls finish(false) (draw what is queued, the batch stays
// open) before it runs; jobs_set_threads calls finish(true) (draw and end it).
typedef void (*JobsQueuedFn)(bool end);
void jobs_set_queued(JobsQueuedFn finish);
