// The demo left running on its end picture: the music loops over orders 20 and
// 21 for a long span of virtual time on the headless host, and GMEM's figures,
// sampled every virtual minute, stay exactly where they were at the first sample.
// The span is an hour of virtual time, or TAVIK_END_LOOP_SECONDS (the sanitizer
// pass of scripts/test runs a shorter span).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/demo.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "platform/host.h"
#include "tests/app/demo_child.h"

namespace {

uint64_t span_seconds() {
    const char* text = std::getenv("TAVIK_END_LOOP_SECONDS");
    const long long s = text ? std::atoll(text) : 0;
    return s > 0 ? static_cast<uint64_t>(s) : 3600;
}

// Resident memory of the process in KiB, from /proc.
long long resident_kib() {
    const std::string statm = robust::read_file("/proc/self/statm");
    const size_t space = statm.find(' ');
    if (space == std::string::npos) return -1;
    return std::atoll(statm.c_str() + space + 1) * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Soak {
    const robust::Report* report;
    uint64_t span_us;
    uint64_t start_us = 0;      // virtual time at the first frame in the end loop
    uint64_t next_sample_us = 0;
    GmemStats first{};
    long long samples = 0, drifted = 0, left_loop = 0, first_rss = 0, max_rss_growth = 0;
};

void soak_frame(uint64_t frame, void* user) {
    Soak& s = *static_cast<Soak*>(user);
    const uint64_t now = host_clock_us();
    const uint32_t order = demo.position->order;
    if (frame == 0) {
        music_set_order(20);  // straight to the ending
        return;
    }
    if (s.start_us == 0) {
        if (order < 20) return;
        s.start_us = now;
        s.next_sample_us = now;
    }
    if (order < 20 || order > 22) s.left_loop++;
    if (now >= s.next_sample_us) {
        GmemStats g{};
        gmem_stats(&g);
        const long long rss = resident_kib();
        if (s.samples == 0) {
            s.first = g;
            s.first_rss = rss;
        } else {
            if (g.blocks != s.first.blocks || g.bytes != s.first.bytes || g.overhead != s.first.overhead ||
                g.peak_bytes != s.first.peak_bytes)
                s.drifted++;
            if (rss - s.first_rss > s.max_rss_growth) s.max_rss_growth = rss - s.first_rss;
        }
        s.samples++;
        s.next_sample_us += 60u * 1000000u;
    }
    if (now - s.start_us >= s.span_us) {
        s.report->put("samples", s.samples);
        s.report->put("drifted", s.drifted);
        s.report->put("left_loop", s.left_loop);
        s.report->put("blocks", s.first.blocks);
        s.report->put("rss_growth_kib", s.max_rss_growth);
        s.report->put("virtual_seconds", static_cast<long long>((now - s.start_us) / 1000000u));
        s.report->put("frames", static_cast<long long>(frame));
        host_inject_key(0x1B, true);
    }
}

}  // namespace

TEST(EndLoop, MemoryStaysFlatOverALongRunOnTheEndPicture) {
    ROBUST_REQUIRE_DATA();
    robust::DataCopy data;
    robust::Report report;
    const uint64_t span = span_seconds();
    const robust::ChildResult r = robust::run_child(data.dir, [&report, span] {
        static Soak soak;
        soak.report = &report;
        soak.span_us = span * 1000000u;
        return demo_run(soak_frame, &soak);
    }, 3 * 3600);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(report.get("virtual_seconds"), static_cast<long long>(span));
    // A sample at the start and one every virtual minute, the last at the end.
    EXPECT_EQ(report.get("samples"), static_cast<long long>((span + 59) / 60 + (span % 60 == 0 ? 1 : 0)));
    EXPECT_GT(report.get("blocks"), 0) << "the demo's own blocks are live";
    EXPECT_EQ(report.get("drifted"), 0) << "GMEM figures moved after the first sample";
    EXPECT_EQ(report.get("left_loop"), 0) << "frames outside orders 20-22";
    // Outside GMEM (the sound library, the host): no steady growth either.
    EXPECT_LT(report.get("rss_growth_kib"), 16 * 1024);
    std::printf("end loop: %lld virtual s, %lld frames, %lld samples, resident growth %lld KiB\n",
                report.get("virtual_seconds"), report.get("frames"), report.get("samples"),
                report.get("rss_growth_kib"));
}
