// The library's C interface over the player: a module is a loaded Module, a player one Playback
// rendered in blocks of kBlockFrames from the song's first frame, exactly as the real-time ring
// renders them, and handed out in whatever pieces the caller asks for.
#include "xmplayer.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "player/loader.h"
#include "player/playback.h"
#include "player/profile.h"
#include "player/render.h"
#include "player/sequencer.h"
#include "player/song_end.h"
#include "player/stream.h"
#include "player/xmplayer_module.h"

static_assert(kBlockFrames == XMPLAYER_BLOCK_FRAMES && kMixRate == XMPLAYER_RATE, "the interface says what the player does");

struct xmplayer_module {
    Module* module;
};

const Module* xmplayerModule(const xmplayer_module* module) { return module ? module->module : nullptr; }

namespace {

constexpr char kAutoProfileName[] = "auto";
constexpr char kAutoProfileDescription[] = "as the tracker of the module's format plays it: ft2, pt or st3";

// 1 / 44100 as float32, as the render loop counts play time.
const float kMixRateReciprocal = 1.0f / static_cast<float>(kMixRate);

// One stretch of a block that runs under one tick: from a tick's first frame, or from the block's
// start for a tick that began in an earlier block.
struct Run {
    int32_t           start;       // frame within the block
    bool              tickStarts;  // this tick's first frame is `start`: it is reported
    xmplayer_position position;    // time_ms at `start`
};

}  // namespace

struct xmplayer {
    const Module* module;
    Playback      playback;
    int           loops;    // plays after the first; negative: for ever
    SongEnd       songEnd;

    // The block being handed out.
    float   mix[2 * kBlockFrames];
    int16_t pcm[2 * kBlockFrames];
    int32_t blockSongFrames;  // frames of the song in it
    int32_t handedOut;        // of them already handed out
    Run     runs[kBlockFrames + 1];
    int32_t runCount;         // runs[0] starts at 0 once a block was rendered
    int64_t blockFirstFrame;  // the song frame of the block's first frame

    xmplayer_tick_report report;
    void*                reportUser;
};

namespace {

xmplayer_position positionOf(const xmplayer& x) {
    const Playback& p = x.playback;
    xmplayer_position s{};
    s.frame = p.tickFrame;
    s.order = p.orderPosition;
    s.pattern = p.orderPosition >= 0 && p.orderPosition < 256 ? x.module->orders[p.orderPosition] : 0;
    s.row = p.row;
    s.tick = p.tickPlayed;
    s.row_ticks = p.rowTicks;
    s.tempo = p.tempo;
    s.bpm = p.bpm;
    s.global_volume = p.globalVolume;
    s.time_ms = p.playTimeMs;
    return s;
}

// The render loop's report of every tick: where the block's run under it starts.
void recordTick(const Playback& p, void* user) {
    xmplayer& x = *static_cast<xmplayer*>(user);
    Run& r = x.runs[x.runCount++];
    r.start = int32_t(p.tickFrame - x.blockFirstFrame);
    r.tickStarts = true;
    r.position = positionOf(x);
}

void renderNextBlock(xmplayer& x) {
    Playback& p = x.playback;
    x.blockFirstFrame = p.framesMixed;
    // The tick running at the block's start, as the previous block left it.
    x.runs[0] = Run{0, false, positionOf(x)};
    x.runCount = 1;
    x.blockSongFrames = renderMixBlock(p, x.mix, x.pcm);
    x.handedOut = 0;
    // A tick that starts at frame 0 replaces the carried-over run.
    if (x.runCount > 1 && x.runs[1].start == 0) {
        for (int32_t i = 1; i < x.runCount; ++i) x.runs[i - 1] = x.runs[i];
        --x.runCount;
    }
}

// Hands out frames [from, to) of the block: the reports of the ticks starting there first.
void reportTicks(xmplayer& x, int32_t from, int32_t to) {
    if (!x.report) return;
    for (int32_t i = 0; i < x.runCount; ++i) {
        const Run& r = x.runs[i];
        if (r.tickStarts && r.start >= from && r.start < to) x.report(&r.position, x.reportUser);
    }
}

template <typename Sample, typename Copy>
size_t render(xmplayer* x, Sample* out, size_t frames, Copy copy) {
    if (!x || !out) return 0;
    size_t done = 0;
    while (done < frames) {
        if (x->handedOut == x->blockSongFrames) {
            if (x->playback.ended) break;
            renderNextBlock(*x);
            if (x->blockSongFrames == 0) break;
        }
        const size_t n = std::min<size_t>(frames - done, size_t(x->blockSongFrames - x->handedOut));
        reportTicks(*x, x->handedOut, x->handedOut + int32_t(n));
        copy(out + 2 * done, size_t(x->handedOut), n);
        x->handedOut += int32_t(n);
        done += n;
    }
    return done;
}

void writeReason(const std::string& why, char* reason, size_t size) {
    if (!reason || size == 0) return;
    const size_t n = std::min(why.size(), size - 1);
    std::memcpy(reason, why.data(), n);
    reason[n] = '\0';
}

xmplayer_module* wrap(Module* m, const std::string& why, char* reason, size_t reasonSize) {
    if (!m) {
        writeReason(why, reason, reasonSize);
        return nullptr;
    }
    xmplayer_module* module = new (std::nothrow) xmplayer_module{m};
    if (!module) {
        freeModule(m);
        writeReason("out of memory", reason, reasonSize);
    }
    return module;
}

// A stream of the C interface's callbacks, read through the loader's: the handle carries the
// caller's callbacks with the caller's handle, since the C seek takes its origin as an int.
struct CStream {
    const xmplayer_stream_callbacks* callbacks;
    void*                            handle;
};

void* cStreamOpen(const char*) { return nullptr; }  // opened by xmplayer_load_stream itself
void cStreamClose(void* handle) {
    CStream* s = static_cast<CStream*>(handle);
    s->callbacks->close(s->handle);
    delete s;
}
int32_t cStreamRead(void* buffer, int32_t count, void* handle) {
    const CStream& s = *static_cast<CStream*>(handle);
    return s.callbacks->read(buffer, count, s.handle);
}
void cStreamSeek(void* handle, int32_t offset, SeekOrigin origin) {
    const CStream& s = *static_cast<CStream*>(handle);
    s.callbacks->seek(s.handle, offset, int(origin));
}
int32_t cStreamTell(void* handle) {
    const CStream& s = *static_cast<CStream*>(handle);
    return s.callbacks->tell(s.handle);
}
const StreamCallbacks cStreamCallbacks = {cStreamOpen, cStreamClose, cStreamRead, cStreamSeek, cStreamTell};

}  // namespace

extern "C" {

#define XMPLAYER_STRING(x) #x
#define XMPLAYER_VERSION_STRING(major, minor, patch) XMPLAYER_STRING(major) "." XMPLAYER_STRING(minor) "." XMPLAYER_STRING(patch)
const char* xmplayer_version(void) {
    return XMPLAYER_VERSION_STRING(XMPLAYER_VERSION_MAJOR, XMPLAYER_VERSION_MINOR, XMPLAYER_VERSION_PATCH);
}

int xmplayer_profile_count(void) { return kProfileCount; }

int xmplayer_profile_from_name(const char* name) {
    if (name && std::string_view(name) == kAutoProfileName) return XMPLAYER_PROFILE_AUTO;
    const ProfileEntry* entry = name ? findProfile(std::string_view(name)) : nullptr;
    return entry ? entry->number : -1;
}

const char* xmplayer_profile_name(int profile) {
    if (profile == XMPLAYER_PROFILE_AUTO) return kAutoProfileName;
    const ProfileEntry* entry = findProfile(int32_t(profile));
    return entry ? entry->name : nullptr;
}

const char* xmplayer_profile_description(int profile) {
    if (profile == XMPLAYER_PROFILE_AUTO) return kAutoProfileDescription;
    const ProfileEntry* entry = findProfile(int32_t(profile));
    return entry ? entry->description : nullptr;
}

xmplayer_format xmplayer_module_format(const xmplayer_module* module) {
    return module ? xmplayer_format(module->module->format) : XMPLAYER_FORMAT_XM;
}

const char* xmplayer_format_name(int format) {
    static const char* const kNames[] = {"XM", "MOD", "S3M"};
    return format >= 0 && format < 3 ? kNames[format] : nullptr;
}

xmplayer_profile xmplayer_module_profile(const xmplayer_module* module) {
    return trackerProfileOf(module ? module->module->format : ModuleFormat::xm);
}

const char* xmplayer_module_warnings(const xmplayer_module* module) {
    return module ? module->module->warnings.c_str() : "";
}

xmplayer_module* xmplayer_load_memory(const void* bytes, size_t size, char* reason, size_t reasonSize) {
    std::string why;
    Module* m = loadModuleFromMemory(static_cast<const uint8_t*>(bytes), size, nullptr, &why);
    return wrap(m, why, reason, reasonSize);
}

xmplayer_module* xmplayer_load_file(const char* path, char* reason, size_t reasonSize) {
    std::string why;
    Module* m = loadModule(fileStreamCallbacks, path, nullptr, &why);
    return wrap(m, why, reason, reasonSize);
}

xmplayer_module* xmplayer_load_stream(const xmplayer_stream_callbacks* callbacks, const char* name, char* reason,
                                      size_t reasonSize) {
    if (!callbacks || !callbacks->open || !callbacks->close || !callbacks->read || !callbacks->seek ||
        !callbacks->tell) {
        writeReason("the stream callbacks are incomplete", reason, reasonSize);
        return nullptr;
    }
    void* handle = callbacks->open(name);
    if (!handle) {
        writeReason(std::string("cannot open \"") + (name ? name : "") + "\"", reason, reasonSize);
        return nullptr;
    }
    std::string why;
    Module* m = loadModuleFromStream(new ModuleStream{&cStreamCallbacks, new CStream{callbacks, handle}}, nullptr, &why);
    return wrap(m, why, reason, reasonSize);
}

void xmplayer_free_module(xmplayer_module* module) {
    if (!module) return;
    freeModule(module->module);
    delete module;
}

void xmplayer_get_info(const xmplayer_module* module, xmplayer_info* info) {
    if (!info) return;
    *info = xmplayer_info{};
    if (!module) return;
    const Module& m = *module->module;
    std::memcpy(info->title, m.title, sizeof info->title);
    std::memcpy(info->tracker, m.trackerName, sizeof info->tracker);
    info->channels = m.channelCount;
    info->orders = m.songLength;
    info->patterns = m.patternCount;
    info->instruments = m.instrumentCount;
    info->linear_periods = m.flags & 1;
    info->missing_bytes = m.missingBytes;
}

const char* xmplayer_instrument_name(const xmplayer_module* module, int index) {
    if (!module || index < 0 || index >= module->module->instrumentCount) return "";
    return module->module->instruments[index].name;
}

xmplayer* xmplayer_create(const xmplayer_module* module, xmplayer_profile profile) {
    if (!module) return nullptr;
    const ProfileEntry* entry = findProfile(int32_t(profile), module->module->format);
    if (!entry) return nullptr;
    xmplayer* x = new (std::nothrow) xmplayer{};
    if (!x) return nullptr;
    x->module = module->module;
    startPlayback(x->playback, *module->module, entry->switches);
    x->playback.tickReport = recordTick;
    x->playback.tickReportUser = x;
    x->loops = 0;
    x->songEnd = startSongEnd(0);
    x->playback.songEnd = &x->songEnd;
    return x;
}

void xmplayer_free(xmplayer* player) { delete player; }

void xmplayer_set_loops(xmplayer* x, int loops) {
    if (!x) return;
    x->loops = loops;
    x->songEnd = startSongEnd(loops < 0 ? 0 : loops);
    x->playback.songEnd = loops < 0 ? nullptr : &x->songEnd;
}

size_t xmplayer_render_s16(xmplayer* x, int16_t* out, size_t frames) {
    return render(x, out, frames, [x](int16_t* to, size_t from, size_t n) {
        std::memcpy(to, x->pcm + 2 * from, sizeof(int16_t) * 2 * n);
    });
}

size_t xmplayer_render_float(xmplayer* x, float* out, size_t frames) {
    return render(x, out, frames, [x](float* to, size_t from, size_t n) {
        for (size_t i = 0; i < 2 * n; ++i) to[i] = x->mix[2 * from + i] / 32768.0f;
    });
}

int xmplayer_ended(const xmplayer* x) { return x && x->playback.ended && x->handedOut == x->blockSongFrames; }

void xmplayer_get_position(const xmplayer* x, xmplayer_position* position) {
    if (!position) return;
    *position = xmplayer_position{};
    if (!x) return;
    if (x->runCount == 0) {  // nothing rendered yet: the song's start
        position->pattern = x->module->orders[0];
        position->tempo = x->playback.tempo;
        position->bpm = x->playback.bpm;
        position->global_volume = x->playback.globalVolume;
        position->row_ticks = x->playback.tempo;
        return;
    }
    // The run that holds the last frame handed out, and the play time at the end of that frame,
    // counted as the render loop counts it.
    const int32_t last = x->handedOut > 0 ? x->handedOut - 1 : 0;
    int32_t i = 0;
    while (i + 1 < x->runCount && x->runs[i + 1].start <= last) ++i;
    const Run& r = x->runs[i];
    *position = r.position;
    const int32_t frames = x->handedOut - r.start;
    position->time_ms = int32_t(uint32_t(r.position.time_ms) +
                                uint32_t(static_cast<int32_t>(double(frames) * double(kMixRateReciprocal) * 1000.0)));
}

int xmplayer_set_order(xmplayer* x, int order) {
    if (!x || order < 0 || order >= x->module->songLength) return 0;
    Playback& p = x->playback;
    // What was rendered ahead of the caller is dropped: the song goes on from the last frame
    // handed out, and its end is looked for afresh.
    xmplayer_position now{};
    xmplayer_get_position(x, &now);
    p.framesMixed = x->blockFirstFrame + x->handedOut;
    p.playTimeMs = now.time_ms;
    p.nextOrder = order;
    p.nextRow = 0;
    p.tick = 0;
    p.patternDelayTicks = 0;
    p.framesLeftInTick = 0;
    p.ended = false;
    x->blockSongFrames = x->handedOut;
    x->songEnd = startSongEnd(x->loops < 0 ? 0 : x->loops);
    return 1;
}

void xmplayer_set_tick_report(xmplayer* x, xmplayer_tick_report report, void* user) {
    if (!x) return;
    x->report = report;
    x->reportUser = user;
}

int64_t xmplayer_song_frames(const xmplayer_module* module, xmplayer_profile profile, int loops, int64_t limit) {
    if (!module) return 0;
    const ProfileEntry* entry = findProfile(int32_t(profile), module->module->format);
    if (!entry) return 0;
    return measureSongLength(*module->module, loops < 0 ? 0 : loops, limit, entry->switches).frames;
}

}  // extern "C"
