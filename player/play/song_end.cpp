#include "player/play/song_end.h"

#include <memory>

#include "player/module.h"
#include "player/playback.h"
#include "player/play/sequencer.h"

SongEnd startSongEnd(int32_t loops) { return SongEnd{{}, loops}; }

bool songEndsHere(SongEnd& end, const Playback& p) {
    if (p.tick != 0) return false;  // only a row tick plays a row
    const SongRow next = nextRowToPlay(p);
    std::vector<int32_t> row{next.orderPosition, next.row};
    const int32_t channels = p.module->channelCount < kMaxChannels ? p.module->channelCount : kMaxChannels;
    for (int32_t i = 0; i < channels; ++i) {
        const Channel& c = p.channels[i];
        if (c.loopCount != 0) row.insert(row.end(), {i, c.loopRow, c.loopCount});
    }
    if (end.playedRows.insert(row).second) return false;
    if (end.passesLeft == 0) return true;
    --end.passesLeft;
    end.playedRows = {row};
    return false;
}

namespace {

enum class TicksEnd { stopped, songEnded, limit };

struct TicksRun {
    int64_t  frame;  // of the tick before which the run ended, or the limit
    TicksEnd end;
};

// Runs the song's ticks from its beginning without mixing until `stop(playback)` says so before
// a tick, the song ends, or a tick would start past `maxFrames` or be the kMaxTicks-th: a file's
// BPM may make ticks of a frame, and 24 hours of them would take hours to run.
template <typename Stop>
TicksRun runTicks(const Module& m, int32_t loops, int64_t maxFrames, const PlaybackProfile& profile, int32_t rate,
                  Stop stop) {
    const std::unique_ptr<Playback> playback(new Playback{});
    Playback& p = *playback;
    startPlayback(p, m, profile, rate);
    p.timingOnly = true;
    SongEnd end = startSongEnd(loops);
    // The render loop ticks at frame 0 and then every framesPerTick frames, as the tick just run
    // set it; block boundaries do not move a tick.
    int64_t ticks = 0;
    for (int64_t frame = 0; frame <= maxFrames && ticks < kMaxTicks; frame += p.framesPerTick, ++ticks) {
        if (songEndsHere(end, p)) return {frame, TicksEnd::songEnded};
        if (stop(p)) return {frame, TicksEnd::stopped};
        sequencerTick(p);
    }
    return {maxFrames, TicksEnd::limit};
}

}  // namespace

SongLength measureSongLength(const Module& m, int32_t loops, int64_t maxFrames, const PlaybackProfile& profile,
                             int32_t rate) {
    const TicksRun run = runTicks(m, loops, maxFrames, profile, rate, [](const Playback&) { return false; });
    return {run.frame, run.end == TicksEnd::songEnded};
}

int64_t findRowFrame(const Module& m, int32_t order, int32_t row, int32_t loops, int64_t maxFrames,
                     const PlaybackProfile& profile, int32_t rate) {
    const TicksRun run = runTicks(m, loops, maxFrames, profile, rate, [order, row](const Playback& p) {
        if (p.tick != 0) return false;
        const SongRow next = nextRowToPlay(p);
        return next.orderPosition == order && next.row == row;
    });
    return run.end == TicksEnd::stopped ? run.frame : -1;
}
