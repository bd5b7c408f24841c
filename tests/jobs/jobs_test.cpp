// The worker pool: row jobs cover every row once for any thread count and row
// count, in one piece on the calling thread when the work is small and the
// count was not set; a job's parts each run once, and a job posted while
// another runs finds that one finished.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/jobs/jobs.h"

namespace {

class Jobs : public ::testing::Test {
protected:
    void TearDown() override { jobs_set_threads(0); }
};

TEST_F(Jobs, RowJobsCoverEveryRowOnce) {
    struct Case {
        int threads;
        int32_t rows;
        int64_t pixels;
        bool one_piece;  // expected as one call (0, rows) on this thread
    };
    const Case cases[] = {{1, 960, 1 << 30, true}, {2, 1, 1 << 30, true}, {2, 2, 4, false},
                          {2, 7, 4, false},        {3, 240, 76800, false}, {2, 1000, 1 << 30, false},
                          {0, 240, 76800, true}};
    for (const Case& c : cases) {
        jobs_set_threads(c.threads);
        if (c.threads == 0 && (jobs_threads() < 2 || std::getenv("TAVIK_THREADS"))) continue;
        std::vector<int> hits(size_t(c.rows), 0);
        std::atomic<int> calls{0};
        std::atomic<bool> elsewhere{false};
        const std::thread::id me = std::this_thread::get_id();
        jobs_parallel_rows(c.rows, c.pixels, [&](int32_t first, int32_t end) {
            calls++;
            if (std::this_thread::get_id() != me) elsewhere = true;
            for (int32_t r = first; r < end; r++) hits[size_t(r)]++;
        });
        SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.rows << " rows");
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), c.rows);
        if (c.one_piece) {
            EXPECT_EQ(calls.load(), 1);
            EXPECT_FALSE(elsewhere.load());
        } else {
            EXPECT_GT(calls.load(), 1);
        }
    }
}

// Parts that count themselves; the first job's parts wait a little so that
// the second is posted while the first still runs.
struct Counted {
    std::atomic<int> hits[64];
    bool slow;
};

void count_part(void* context, int32_t part) {
    Counted* c = static_cast<Counted*>(context);
    if (c->slow) std::this_thread::sleep_for(std::chrono::microseconds(200));
    c->hits[part]++;
}

TEST_F(Jobs, PartsRunOnceAndJobsOneAtATime) {
    jobs_set_threads(3);
    Counted a{}, b{};
    a.slow = true;
    const uint32_t first = jobs_post(count_part, &a, 40);
    const uint32_t second = jobs_post(count_part, &b, 64);  // finishes the first
    EXPECT_TRUE(jobs_done(first));
    for (int i = 0; i < 40; i++) EXPECT_EQ(a.hits[i].load(), 1) << "part " << i;
    jobs_finish(second);
    EXPECT_TRUE(jobs_done(second));
    for (int i = 0; i < 64; i++) EXPECT_EQ(b.hits[i].load(), 1) << "part " << i;
}

}  // namespace
