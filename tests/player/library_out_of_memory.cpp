// The C interface when memory runs out: every allocation each call makes is made to fail in
// turn (this program replaces the global operator new), and each call must then report
// XMPLAYER_ERROR_OUT_OF_MEMORY (or NULL, or 0, as it says), let no exception through and leave
// nothing behind (the sanitizer builds check for leaks), and work again once memory is back.
// A program of its own: the replaced allocator must not fail anyone else's test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "busy_song.h"
#include "xmplayer.h"

namespace {

// Allocations left before the one that fails; negative: none fails.
long g_allocationsLeft = -1;
bool g_failed = false;  // an allocation was made to fail since the countdown was armed

void* allocate(std::size_t size, bool nothrow) {
    if (g_allocationsLeft == 0) {
        g_allocationsLeft = -1;
        g_failed = true;
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    void* p = std::malloc(size ? size : 1);
    if (!p && !nothrow) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size, false); }
void* operator new[](std::size_t size) { return allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, true); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Runs `call` with the n-th allocation failing, for n = 0, 1, … until it runs through without a
// failure; `check` judges each outcome (true: the call failed as it should, or succeeded).
// Returns how many allocations the call made.
long failEachAllocation(const std::function<void(bool failing)>& call) {
    for (long n = 0;; ++n) {
        g_failed = false;
        g_allocationsLeft = n;
        call(true);
        const bool failed = g_failed;
        g_allocationsLeft = -1;
        if (!failed) return n;
        if (::testing::Test::HasFatalFailure()) return n;
    }
}

std::vector<uint8_t> busyBytes() { return buildXm(busySong()); }

TEST(LibraryOutOfMemory, LoadingReportsItAndLeavesNothingBehind) {
    const std::vector<uint8_t> bytes = busyBytes();
    const long made = failEachAllocation([&](bool) {
        xmplayer_error error = XMPLAYER_ERROR_INTERNAL;
        char reason[64] = "";
        xmplayer_module* m = xmplayer_load_memory(bytes.data(), bytes.size(), &error, reason, sizeof reason);
        if (g_failed) {
            EXPECT_EQ(m, nullptr);
            EXPECT_EQ(error, XMPLAYER_ERROR_OUT_OF_MEMORY);
            EXPECT_STREQ(reason, "out of memory");
        } else {
            EXPECT_NE(m, nullptr);
            EXPECT_EQ(error, XMPLAYER_OK);
        }
        xmplayer_free_module(m);
    });
    EXPECT_GT(made, 10) << "the module, its patterns, instruments and samples";
}

TEST(LibraryOutOfMemory, PlayersReportItAndGoOnOnceMemoryIsBack) {
    const std::vector<uint8_t> bytes = busyBytes();
    xmplayer_module* m = xmplayer_load_memory(bytes.data(), bytes.size(), nullptr, nullptr, 0);
    ASSERT_NE(m, nullptr);

    failEachAllocation([&](bool) {
        xmplayer* p = xmplayer_create(m, XMPLAYER_PROFILE_FT2);
        EXPECT_EQ(p == nullptr, g_failed);
        xmplayer_free(p);
    });

    // Each call on a player that exists: an error code, and the player still plays afterwards.
    // The test's own memory is taken before the countdown runs.
    static int16_t out[2 * 44100];
    struct Call {
        const char* what;
        xmplayer_error (*run)(xmplayer*);
    };
    const Call calls[] = {
        {"set_rate", [](xmplayer* p) { return xmplayer_set_rate(p, 48000); }},
        {"seek_frame", [](xmplayer* p) { return xmplayer_seek_frame(p, 5 * 44100 + 17); }},
        {"seek_row", [](xmplayer* p) { return xmplayer_seek_row(p, 2, 3); }},
        {"render", [](xmplayer* p) {
             return xmplayer_render_s16(p, out, 44100) == 44100 ? XMPLAYER_OK : XMPLAYER_ERROR_OUT_OF_MEMORY;
         }},
    };
    for (const Call& c : calls) {
        SCOPED_TRACE(c.what);
        const long made = failEachAllocation([&](bool) {
            xmplayer* p = nullptr;
            {
                const long left = g_allocationsLeft;
                g_allocationsLeft = -1;
                p = xmplayer_create(m, XMPLAYER_PROFILE_FT2);
                g_allocationsLeft = left;
            }
            ASSERT_NE(p, nullptr);
            const xmplayer_error error = c.run(p);
            const bool failed = g_failed;
            g_allocationsLeft = -1;
            EXPECT_EQ(error, failed ? XMPLAYER_ERROR_OUT_OF_MEMORY : XMPLAYER_OK);
            if (failed && c.run != calls[3].run) {
                EXPECT_EQ(xmplayer_seek_frame(p, 1000), XMPLAYER_OK) << "the player goes on";
                EXPECT_EQ(xmplayer_render_s16(p, out, 1000), 1000u);
            }
            xmplayer_free(p);
            g_failed = failed;
        });
        EXPECT_GT(made, 0);
    }

    failEachAllocation([&](bool) {
        const double seconds = xmplayer_song_duration(m, XMPLAYER_PROFILE_FT2, 0);
        EXPECT_EQ(seconds < 0, g_failed);
    });
    xmplayer_free_module(m);
}

}  // namespace
