// Whole songs as the trackers' users write them (tests/support/tracker_songs.h), played through the
// library: each with every profile, to its end, the tracker's own profile by AUTO.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tracker_songs.h"
#include "xmplayer.h"

namespace {

TEST(TrackerSongs, PlayToTheirEndWithEveryProfile) {
    struct Case {
        const char*          name;
        std::vector<uint8_t> bytes;
        xmplayer_format      format;
        int64_t              frames;  // the song's length as its tracker plays it
    };
    // The MOD at speed 6 and 125 BPM: orders 0, 1 (its rows 16…31 twice), 0, 2 (broken after row
    // 48), 1 (its loop twice again): 337 rows of 6 × 882 frames. The S3M at speed 5 and 132 BPM,
    // 144 from its second pattern's row 32; libopenmpt and xmp find the same lengths.
    const Case cases[] = {
        {"MOD", tracker_songs::modSong(), XMPLAYER_FORMAT_MOD, 1783404},
        {"S3M", tracker_songs::s3mSong(), XMPLAYER_FORMAT_S3M, 801600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char reason[128] = "";
        xmplayer_module* module = xmplayer_load_memory(c.bytes.data(), c.bytes.size(), nullptr, reason, sizeof reason);
        ASSERT_NE(module, nullptr) << reason;
        EXPECT_EQ(xmplayer_module_format(module), c.format);
        EXPECT_STREQ(xmplayer_module_warnings(module), "");
        EXPECT_EQ(xmplayer_song_frames(module, XMPLAYER_PROFILE_AUTO, 0, int64_t(1) << 30), c.frames);
        for (int profile = 0; profile < xmplayer_profile_count(); ++profile) {
            xmplayer* player = xmplayer_create(module, xmplayer_profile(profile));
            std::vector<int16_t> block(2 * XMPLAYER_BLOCK_FRAMES);
            int64_t frames = 0, loud = 0;
            while (size_t n = xmplayer_render_s16(player, block.data(), XMPLAYER_BLOCK_FRAMES)) {
                frames += int64_t(n);
                loud += std::count_if(block.begin(), block.begin() + ptrdiff_t(2 * n), [](int16_t v) { return v > 1000; });
            }
            EXPECT_EQ(frames, xmplayer_song_frames(module, xmplayer_profile(profile), 0, int64_t(1) << 30))
                << xmplayer_profile_name(profile);
            EXPECT_GT(loud, frames / 10) << xmplayer_profile_name(profile) << ": it sounds";
            xmplayer_free(player);
        }
        xmplayer_free_module(module);
    }
}

}  // namespace
