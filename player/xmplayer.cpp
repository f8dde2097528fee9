// The library's C interface over the player: a module is a loaded Module, a player one Playback
// rendered in blocks of about 20 ms from the song's first frame, exactly as the real-time ring
// renders them, and handed out in whatever pieces the caller asks for. Every entry point catches
// what the C++ inside may throw (only std::bad_alloc is expected) and reports it as an error.
#include "xmplayer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "player/load/loader.h"
#include "player/playback.h"
#include "player/profile.h"
#include "player/mix/render.h"
#include "player/play/sequencer.h"
#include "player/play/song_end.h"
#include "player/load/stream.h"

static_assert(kBlockFrames == XMPLAYER_BLOCK_FRAMES && kMixRate == XMPLAYER_RATE, "the interface says what the player does");
static_assert(sizeof(xmplayer_cell) == sizeof(Cell), "a pattern row is copied cell by cell");

struct xmplayer_module {
    Module* module;
};


namespace {

constexpr char kAutoProfileName[] = "auto";
constexpr char kAutoProfileDescription[] = "as the tracker of the module's format plays it: ft2, pt or st3";

// One stretch of a block that runs under one tick: from a tick's first frame, or from the block's
// start for a tick that began in an earlier block.
struct Run {
    int32_t           start;       // frame within the block
    bool              tickStarts;  // this tick's first frame is `start`: it is reported
    xmplayer_position position;    // time_ms and played at `start`
};

// The switches of profile `profile` for `module` (XMPLAYER_PROFILE_AUTO: its format's tracker),
// or nullptr for a number no profile has.
const PlaybackProfile* profileOf(xmplayer_profile profile, const xmplayer_module* module) {
    const ProfileEntry* entry = findProfile(int32_t(profile), module->module->format);
    return entry ? &entry->switches : nullptr;
}

constexpr int64_t kDurationLimitFrames = int64_t(24) * 3600 * XMPLAYER_RATE;

}  // namespace

struct xmplayer {
    // Set when it is made.
    const Module*          module;
    const PlaybackProfile* profile;

    // The song as it plays; rebuilt from the start by a seek back or a change of rate.
    Playback playback;
    int32_t  rate;         // frames per second
    int32_t  blockFrames;  // blockFramesAt(rate)
    int      loops;        // plays after the first; negative: for ever
    SongEnd  songEnd;
    bool     fromStart;    // the playback is an unbroken render's from the song's start, so a seek
                           // forward may go on from it (not after a jump or a new loop count)

    // How it mixes and hands out, whatever is rebuilt.
    Interpolation interpolation;
    uint32_t      muted;          // bit per channel
    uint32_t      solo;           // bit per channel; while any is set only these sound
    bool          watchChannels;  // xmplayer_get_channel was called: the mixer measures peaks
    float         separation;     // 1.0: the song's own
    float         gain;           // 1.0: none

    // The block being handed out.
    std::vector<float> mix;              // 2 × blockFrames
    std::vector<Run>   runs;             // room for a tick on every frame of a block, and one more
    int32_t            runCount;         // 0: no block rendered since the song's start
    int32_t            blockSongFrames;  // frames of the song in it
    int32_t            handedOut;        // of them already handed out
    int64_t            blockFirstFrame;  // the song frame of the block's first frame
    bool               sought;           // nothing handed out since a seek

    xmplayer_tick_report report;
    void*                reportUser;
};

namespace {

xmplayer_position positionOf(const xmplayer& x) {
    const Playback& p = x.playback;
    xmplayer_position s{};
    s.size = sizeof s;
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
    s.played = p.framesMixed;
    s.seconds = double(s.played) / x.rate;
    return s;
}

// The render loop's report of every tick: where the block's run under it starts.
void recordTick(const Playback& p, void* user) {
    xmplayer& x = *static_cast<xmplayer*>(user);
    Run& r = x.runs[size_t(x.runCount++)];
    r.start = int32_t(p.tickFrame - x.blockFirstFrame);
    r.tickStarts = true;
    r.position = positionOf(x);
}

uint32_t silencedChannels(const xmplayer& x) { return x.solo ? x.muted | ~x.solo : x.muted; }

void applyMixerSettings(xmplayer& x) {
    Mixer& m = x.playback.mixer;
    m.interpolation = x.interpolation;
    m.measurePeaks = x.watchChannels;
    m.silencedChannels = silencedChannels(x);
}

// The song from its first frame, at the player's rate; nothing rendered yet.
void restart(xmplayer& x) {
    Playback& p = x.playback;
    startPlayback(p, *x.module, *x.profile, x.rate);
    p.tickReport = recordTick;
    p.tickReportUser = &x;
    x.songEnd = startSongEnd(x.loops < 0 ? 0 : x.loops);
    p.songEnd = x.loops < 0 ? nullptr : &x.songEnd;
    x.fromStart = true;
    applyMixerSettings(x);
    x.runCount = 0;
    x.blockSongFrames = x.handedOut = 0;
    x.blockFirstFrame = 0;
}

// Starts a block at the playback's frame: the tick running there, as the previous block left it.
void startBlock(xmplayer& x) {
    x.blockFirstFrame = x.playback.framesMixed;
    x.runs[0] = Run{0, false, positionOf(x)};
    x.runCount = 1;
    x.blockSongFrames = x.handedOut = 0;
}

void renderNextBlock(xmplayer& x) {
    Playback& p = x.playback;
    startBlock(x);
    std::fill(x.mix.begin(), x.mix.end(), 0.0f);
    x.blockSongFrames = renderFrames(p, x.mix.data(), x.blockFrames);
    // A tick that starts at frame 0 replaces the carried-over run.
    if (x.runCount > 1 && x.runs[1].start == 0) {
        for (int32_t i = 1; i < x.runCount; ++i) x.runs[size_t(i) - 1] = x.runs[size_t(i)];
        --x.runCount;
    }
}

// Hands out frames [from, to) of the block: the reports of the ticks starting there first.
void reportTicks(xmplayer& x, int32_t from, int32_t to) {
    if (!x.report) return;
    for (int32_t i = 0; i < x.runCount; ++i) {
        const Run& r = x.runs[size_t(i)];
        if (r.tickStarts && r.start >= from && r.start < to) x.report(&r.position, x.reportUser);
    }
}

// Separation and gain on `frames` stereo frames of the mix, into `to`. Mid = (L + R) / 2 and
// side = (L − R) / 2 × separation give L = mid + side, R = mid − side; then both × gain. Each
// stage is left out where it changes nothing, so the song's own values pass untouched.
void shape(const xmplayer& x, const float* from, float* to, size_t frames) {
    const bool separate = x.separation != 1.0f;
    for (size_t i = 0; i < frames; ++i) {
        float l = from[2 * i], r = from[2 * i + 1];
        if (separate) {
            const float mid = (l + r) * 0.5f, side = (l - r) * 0.5f * x.separation;
            l = mid + side;
            r = mid - side;
        }
        to[2 * i] = l * x.gain;
        to[2 * i + 1] = r * x.gain;
    }
}

bool shapes(const xmplayer& x) { return x.separation != 1.0f || x.gain != 1.0f; }

void handOut(const xmplayer& x, const float* from, int16_t* to, size_t frames) {
    if (!shapes(x)) {
        pcm16Run(to, from, int32_t(frames), x.playback.mixer.wide);
        return;
    }
    float shaped[2 * 256];
    for (size_t done = 0; done < frames; done += 256) {
        const size_t n = std::min<size_t>(256, frames - done);
        shape(x, from + 2 * done, shaped, n);
        pcm16Run(to + 2 * done, shaped, int32_t(n), x.playback.mixer.wide);
    }
}

void handOut(const xmplayer& x, const float* from, float* to, size_t frames) {
    if (shapes(x)) shape(x, from, to, frames);
    else std::copy(from, from + 2 * frames, to);
    for (size_t i = 0; i < 2 * frames; ++i) to[i] /= 32768.0f;
}

template <typename Sample>
size_t render(xmplayer* x, Sample* out, size_t frames) {
    if (!x || !out) return 0;
    size_t done = 0;
    try {
        while (done < frames) {
            if (x->handedOut == x->blockSongFrames) {
                if (x->playback.ended) break;
                renderNextBlock(*x);
                if (x->blockSongFrames == 0) break;
            }
            const size_t n = std::min<size_t>(frames - done, size_t(x->blockSongFrames - x->handedOut));
            reportTicks(*x, x->handedOut, x->handedOut + int32_t(n));
            handOut(*x, x->mix.data() + 2 * size_t(x->handedOut), out + 2 * done, n);
            x->handedOut += int32_t(n);
            x->sought = false;
            done += n;
        }
    } catch (...) {
        // Memory ran out in the song's end record: the song ends here.
        x->playback.ended = true;
        x->blockSongFrames = x->handedOut;
    }
    return done;
}

// Frames of the song handed out so far.
int64_t played(const xmplayer& x) { return x.runCount ? x.blockFirstFrame + x.handedOut : 0; }

// Goes to frame `target` of an unbroken render from the song's start (see xmplayer_seek_frame).
void seekTo(xmplayer& x, int64_t target) {
    Playback& p = x.playback;
    x.sought = true;
    const int64_t blockEnd = x.blockFirstFrame + x.blockSongFrames;
    if (x.fromStart && x.runCount > 0 && target >= x.blockFirstFrame && (target < blockEnd || p.ended)) {
        // Inside the block at hand, or past the end of a song that ended in it.
        x.handedOut = int32_t(std::min(target, blockEnd) - x.blockFirstFrame);
        return;
    }
    if (!x.fromStart || target < p.framesMixed) restart(x);
    // The song's start: as fresh as a new player (a loop count set now counts from the start).
    if (target == 0) return;
    // From a block boundary at or before the target: whole blocks without mixing, then the block
    // that holds the target, mixed. The skipped ticks are reported to nobody, also when memory
    // runs out on the way.
    struct Unreported {
        Playback& p;
        ~Unreported() { p.tickReport = recordTick; }
    } unreported{p};
    p.tickReport = nullptr;
    while (!p.ended && target - p.framesMixed >= x.blockFrames) skipFrames(p, x.blockFrames);
    p.tickReport = recordTick;
    if (p.ended) {
        startBlock(x);
        return;
    }
    renderNextBlock(x);
    x.handedOut = int32_t(std::min<int64_t>(target - x.blockFirstFrame, x.blockSongFrames));
}

void writeReason(const std::string& why, char* reason, size_t size) {
    if (!reason || size == 0) return;
    const size_t n = std::min(why.size(), size - 1);
    std::memcpy(reason, why.data(), n);
    reason[n] = '\0';
}

void setError(xmplayer_error* error, xmplayer_error value) {
    if (error) *error = value;
}

// A failed load: the code beside its reason.
xmplayer_module* failLoad(xmplayer_error code, const std::string& why, xmplayer_error* error, char* reason,
                          size_t reasonSize) {
    setError(error, code);
    writeReason(why, reason, reasonSize);
    return nullptr;
}

// The loader's verdict as the interface's: a module, or why not. Only a file of no format the
// player reads is refused for its format; every other refusal is a limit of the player.
xmplayer_module* wrap(Module* m, const std::string& why, bool notAModule, xmplayer_error* error, char* reason,
                      size_t reasonSize) {
    if (!m) return failLoad(notAModule ? XMPLAYER_ERROR_FORMAT : XMPLAYER_ERROR_UNPLAYABLE, why, error, reason, reasonSize);
    xmplayer_module* module = new (std::nothrow) xmplayer_module{m};
    if (!module) {
        freeModule(m);
        return failLoad(XMPLAYER_ERROR_OUT_OF_MEMORY, "out of memory", error, reason, reasonSize);
    }
    setError(error, XMPLAYER_OK);
    return module;
}

// Loads from a stream already open; the loader closes it.
xmplayer_module* loadOpened(const StreamCallbacks& callbacks, void* handle, xmplayer_error* error, char* reason,
                            size_t reasonSize) {
    ModuleStream* stream = new (std::nothrow) ModuleStream{&callbacks, handle};
    if (!stream) {
        callbacks.close(handle);
        throw std::bad_alloc();
    }
    std::string why;
    bool notAModule = false;
    Module* m = loadModuleFromStream(stream, nullptr, &why, &notAModule);
    return wrap(m, why, notAModule, error, reason, reasonSize);
}

// Runs a loader, turning what it throws into an error.
template <typename Load>
xmplayer_module* guardedLoad(xmplayer_error* error, char* reason, size_t reasonSize, Load load) {
    try {
        return load();
    } catch (const std::bad_alloc&) {
        return failLoad(XMPLAYER_ERROR_OUT_OF_MEMORY, "out of memory", error, reason, reasonSize);
    } catch (...) {
        return failLoad(XMPLAYER_ERROR_INTERNAL, "the loader failed", error, reason, reasonSize);
    }
}

// Runs a call's work, turning what it throws into the error that means.
template <typename Work>
xmplayer_error guarded(Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return XMPLAYER_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        return XMPLAYER_ERROR_INTERNAL;
    }
}

// The caller's callbacks behind the loader's: the int32 sizes widened, failures kept until the
// load has finished (the loader itself reads on, getting zeros).
struct CStream {
    const xmplayer_stream_callbacks* callbacks;
    void*                            handle;
    bool                             failed;
};

void* cStreamOpen(const char*) { return nullptr; }  // opened by xmplayer_load_stream itself
void cStreamClose(void* handle) {
    CStream& s = *static_cast<CStream*>(handle);
    s.callbacks->close(s.handle);
}
int32_t cStreamRead(void* buffer, int32_t count, void* handle) {
    CStream& s = *static_cast<CStream*>(handle);
    const int64_t got = s.callbacks->read(s.handle, buffer, count);
    if (got < 0 || got > count) {
        s.failed = true;
        return 0;
    }
    return int32_t(got);
}
void cStreamSeek(void* handle, int32_t offset, SeekOrigin origin) {
    CStream& s = *static_cast<CStream*>(handle);
    if (s.callbacks->seek(s.handle, offset, int(origin)) != 0) s.failed = true;
}
int32_t cStreamTell(void* handle) {
    CStream& s = *static_cast<CStream*>(handle);
    const int64_t at = s.callbacks->tell(s.handle);
    if (at < 0) {
        s.failed = true;
        return 0;
    }
    return int32_t(std::min<int64_t>(at, INT32_MAX));  // the loader reads no further
}
const StreamCallbacks cStreamCallbacks = {cStreamOpen, cStreamClose, cStreamRead, cStreamSeek, cStreamTell};

bool validChannel(const xmplayer* x, int channel) {
    return x && channel >= 0 && channel < std::min<int32_t>(x->module->channelCount, kMaxChannels);
}

// Copies the first `size` bytes of `full` (whose `size` field says the bytes filled) to `to`.
template <typename Record>
xmplayer_error fill(Record full, Record* to, size_t size) {
    if (!to || size < sizeof(size_t)) return XMPLAYER_ERROR_ARGUMENT;
    full.size = std::min(size, sizeof full);
    std::memcpy(to, &full, full.size);
    return XMPLAYER_OK;
}

// The instrument (from 0) and slot that `sample` is in, found where the channel's instrument
// says first; false for a sample of no instrument.
bool findSample(const Module& m, int32_t instrument, const Sample* sample, int32_t& foundInstrument, int32_t& slot) {
    for (int32_t pass = 0; pass < 2; ++pass)
        for (int32_t i = pass ? 0 : instrument; i < (pass ? m.instrumentCount : instrument + 1); ++i) {
            if (i < 0 || i >= m.instrumentCount) continue;
            for (int32_t k = 0; k < m.instruments[i].sampleCount; ++k)
                if (m.instruments[i].samples[k] == sample) {
                    foundInstrument = i;
                    slot = k;
                    return true;
                }
        }
    return false;
}

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

const char* xmplayer_error_text(xmplayer_error error) {
    switch (error) {
    case XMPLAYER_OK: return "no error";
    case XMPLAYER_ERROR_ARGUMENT: return "invalid argument";
    case XMPLAYER_ERROR_OUT_OF_MEMORY: return "out of memory";
    case XMPLAYER_ERROR_OPEN: return "cannot open";
    case XMPLAYER_ERROR_READ: return "cannot read";
    case XMPLAYER_ERROR_FORMAT: return "not a module of a format it reads (XM, MOD, S3M)";
    case XMPLAYER_ERROR_UNPLAYABLE: return "cannot be played";
    case XMPLAYER_ERROR_NOT_FOUND: return "not found";
    case XMPLAYER_ERROR_INTERNAL: return "internal error";
    }
    return "unknown error";
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

xmplayer_module* xmplayer_load_memory(const void* bytes, size_t size, xmplayer_error* error, char* reason,
                                      size_t reasonSize) {
    if (!bytes && size > 0) return failLoad(XMPLAYER_ERROR_ARGUMENT, "no bytes", error, reason, reasonSize);
    return guardedLoad(error, reason, reasonSize, [&] {
        void* handle = memoryStreamOpen(static_cast<const uint8_t*>(bytes), size);
        return loadOpened(memoryStreamCallbacks, handle, error, reason, reasonSize);
    });
}

xmplayer_module* xmplayer_load_file(const char* path, xmplayer_error* error, char* reason, size_t reasonSize) {
    if (!path) return failLoad(XMPLAYER_ERROR_ARGUMENT, "no path", error, reason, reasonSize);
    return guardedLoad(error, reason, reasonSize, [&]() -> xmplayer_module* {
        errno = 0;
        void* handle = fileStreamOpen(path);
        if (!handle) {
            const std::string why = errno ? std::strerror(errno) : "2 GiB or more, or not a file";
            return failLoad(XMPLAYER_ERROR_OPEN, "cannot open \"" + std::string(path) + "\": " + why, error, reason,
                            reasonSize);
        }
        return loadOpened(fileStreamCallbacks, handle, error, reason, reasonSize);
    });
}

xmplayer_module* xmplayer_load_stream(const xmplayer_stream_callbacks* callbacks, const char* name, void* user,
                                      xmplayer_error* error, char* reason, size_t reasonSize) {
    if (!callbacks || !callbacks->open || !callbacks->close || !callbacks->read || !callbacks->seek ||
        !callbacks->tell)
        return failLoad(XMPLAYER_ERROR_ARGUMENT, "the stream callbacks are incomplete", error, reason, reasonSize);
    return guardedLoad(error, reason, reasonSize, [&]() -> xmplayer_module* {
        void* handle = callbacks->open(name, user);
        if (!handle)
            return failLoad(XMPLAYER_ERROR_OPEN, std::string("cannot open \"") + (name ? name : "") + "\"", error,
                            reason, reasonSize);
        CStream stream{callbacks, handle, false};
        xmplayer_module* module = loadOpened(cStreamCallbacks, &stream, error, reason, reasonSize);
        // What the loader made of a stream that failed on the way says nothing of the module.
        if (stream.failed) {
            xmplayer_free_module(module);
            return failLoad(XMPLAYER_ERROR_READ, "the stream failed to read, seek or tell", error, reason, reasonSize);
        }
        return module;
    });
}

void xmplayer_free_module(xmplayer_module* module) {
    if (!module) return;
    freeModule(module->module);
    delete module;
}

xmplayer_error xmplayer_get_info(const xmplayer_module* module, xmplayer_info* info, size_t infoSize) {
    if (!module) return XMPLAYER_ERROR_ARGUMENT;
    const Module& m = *module->module;
    xmplayer_info full{};
    std::memcpy(full.title, m.title, sizeof full.title);
    std::memcpy(full.tracker, m.trackerName, sizeof full.tracker);
    std::strcpy(full.format, "XM");
    full.channels = m.channelCount;
    full.orders = m.songLength;
    full.restart_order = m.restartPosition;
    full.patterns = m.patternCount;
    full.instruments = m.instrumentCount;
    for (int32_t i = 0; i < m.instrumentCount; ++i) full.samples += m.instruments[i].sampleCount;
    full.linear_periods = m.flags & 1;
    full.tempo = m.defaultTempo;
    full.bpm = m.defaultBpm;
    full.missing_bytes = m.missingBytes;
    return fill(full, info, infoSize);
}

const char* xmplayer_instrument_name(const xmplayer_module* module, int instrument) {
    if (!module || instrument < 0 || instrument >= module->module->instrumentCount) return "";
    return module->module->instruments[instrument].name;
}

int xmplayer_instrument_samples(const xmplayer_module* module, int instrument) {
    if (!module || instrument < 0 || instrument >= module->module->instrumentCount) return 0;
    return module->module->instruments[instrument].sampleCount;
}

const char* xmplayer_sample_name(const xmplayer_module* module, int instrument, int sample) {
    if (sample < 0 || sample >= xmplayer_instrument_samples(module, instrument)) return "";
    return module->module->instruments[instrument].samples[sample]->name;
}

int xmplayer_order_pattern(const xmplayer_module* module, int order) {
    if (!module || order < 0 || order >= module->module->songLength) return -1;
    return module->module->orders[order];
}

int xmplayer_pattern_rows(const xmplayer_module* module, int pattern) {
    if (!module || pattern < 0 || pattern >= module->module->patternCount) return 0;
    return module->module->patterns[pattern].rowCount;
}

int xmplayer_get_row(const xmplayer_module* module, int pattern, int row, xmplayer_cell* cells, size_t count) {
    if (row < 0 || row >= xmplayer_pattern_rows(module, pattern)) return 0;
    const Module& m = *module->module;
    const Pattern& p = m.patterns[pattern];
    if (!p.cells) return 0;
    const size_t n = cells ? std::min<size_t>(count, size_t(m.channelCount)) : 0;
    for (size_t i = 0; i < n; ++i) {
        const Cell& c = p.cells[size_t(row) * size_t(m.channelCount) + i];
        cells[i] = xmplayer_cell{c.note == 255 ? uint8_t(97) : c.note, c.instrument, c.volume, c.effectType,
                                 c.effectParam};
    }
    return m.channelCount;
}

xmplayer* xmplayer_create(const xmplayer_module* module, xmplayer_profile profile) {
    if (!module || !profileOf(profile, module)) return nullptr;
    try {
        std::unique_ptr<xmplayer> x(new xmplayer{});
        x->module = module->module;
        x->profile = profileOf(profile, module);
        x->rate = XMPLAYER_RATE;
        x->blockFrames = blockFramesAt(x->rate);
        x->interpolation = Interpolation::linear;
        x->separation = 1.0f;
        x->gain = 1.0f;
        x->mix.resize(2 * size_t(x->blockFrames));
        x->runs.resize(size_t(x->blockFrames) + 1);
        restart(*x);
        return x.release();
    } catch (...) {
        return nullptr;
    }
}

void xmplayer_free(xmplayer* player) { delete player; }

int32_t xmplayer_block_frames(int32_t rate) {
    return rate >= XMPLAYER_RATE_MIN && rate <= XMPLAYER_RATE_MAX ? blockFramesAt(rate) : 0;
}

xmplayer_error xmplayer_set_rate(xmplayer* x, int32_t rate) {
    if (!x || rate < XMPLAYER_RATE_MIN || rate > XMPLAYER_RATE_MAX) return XMPLAYER_ERROR_ARGUMENT;
    return guarded([&] {
        const int32_t frames = blockFramesAt(rate);
        std::vector<float> mix(2 * size_t(frames));
        std::vector<Run> runs(size_t(frames) + 1);
        const int64_t target = played(*x) * rate / x->rate;
        x->rate = rate;
        x->blockFrames = frames;
        x->mix.swap(mix);
        x->runs.swap(runs);
        restart(*x);
        seekTo(*x, target);
        return XMPLAYER_OK;
    });
}

int32_t xmplayer_get_rate(const xmplayer* x) { return x ? x->rate : 0; }

xmplayer_error xmplayer_set_interpolation(xmplayer* x, xmplayer_interpolation interpolation) {
    if (!x) return XMPLAYER_ERROR_ARGUMENT;
    switch (interpolation) {
    case XMPLAYER_INTERPOLATION_NONE: x->interpolation = Interpolation::none; break;
    case XMPLAYER_INTERPOLATION_LINEAR: x->interpolation = Interpolation::linear; break;
    case XMPLAYER_INTERPOLATION_CUBIC: x->interpolation = Interpolation::cubic; break;
    default: return XMPLAYER_ERROR_ARGUMENT;
    }
    applyMixerSettings(*x);
    return XMPLAYER_OK;
}

int xmplayer_interpolation_by_name(const char* name) {
    if (!name) return -1;
    if (std::strcmp(name, "none") == 0) return XMPLAYER_INTERPOLATION_NONE;
    if (std::strcmp(name, "linear") == 0) return XMPLAYER_INTERPOLATION_LINEAR;
    if (std::strcmp(name, "cubic") == 0) return XMPLAYER_INTERPOLATION_CUBIC;
    return -1;
}

xmplayer_error xmplayer_set_separation(xmplayer* x, int32_t percent) {
    if (!x || percent < 0 || percent > 200) return XMPLAYER_ERROR_ARGUMENT;
    x->separation = float(percent) / 100.0f;
    return XMPLAYER_OK;
}

xmplayer_error xmplayer_set_gain(xmplayer* x, double decibels) {
    if (!x || !(decibels >= -100.0 && decibels <= 40.0)) return XMPLAYER_ERROR_ARGUMENT;
    x->gain = decibels == 0.0 ? 1.0f : float(std::pow(10.0, decibels / 20.0));
    return XMPLAYER_OK;
}

void xmplayer_set_loops(xmplayer* x, int loops) {
    if (!x) return;
    x->loops = loops;
    x->songEnd = startSongEnd(loops < 0 ? 0 : loops);
    x->playback.songEnd = loops < 0 ? nullptr : &x->songEnd;
    // Counted afresh from here: the song's end no longer lies where a render from the start with
    // this count finds it.
    if (x->runCount > 0) x->fromStart = false;
}

size_t xmplayer_render_s16(xmplayer* x, int16_t* out, size_t frames) { return render(x, out, frames); }

size_t xmplayer_render_float(xmplayer* x, float* out, size_t frames) { return render(x, out, frames); }

int xmplayer_ended(const xmplayer* x) { return x && x->playback.ended && x->handedOut == x->blockSongFrames; }

xmplayer_error xmplayer_get_position(const xmplayer* x, xmplayer_position* position, size_t positionSize) {
    if (!x) return XMPLAYER_ERROR_ARGUMENT;
    xmplayer_position at{};
    if (x->runCount == 0) {  // nothing rendered since the song's start
        const Playback& p = x->playback;
        at.size = sizeof at;
        at.pattern = x->module->orders[0];
        at.tempo = p.tempo;
        at.bpm = p.bpm;
        at.global_volume = p.globalVolume;
        at.row_ticks = p.tempo;
        return fill(at, position, positionSize);
    }
    // The run that holds the last frame handed out (right after a seek: the next one), and the
    // play time at the end of that frame, counted as the render loop counts it.
    const int32_t last = x->handedOut > 0 && !x->sought ? x->handedOut - 1 : x->handedOut;
    int32_t i = 0;
    while (i + 1 < x->runCount && x->runs[size_t(i) + 1].start <= last) ++i;
    const Run& r = x->runs[size_t(i)];
    at = r.position;
    const int32_t frames = x->handedOut - r.start;
    at.time_ms = int32_t(uint32_t(r.position.time_ms) +
                         uint32_t(static_cast<int32_t>(double(frames) * double(x->playback.rateReciprocal) * 1000.0)));
    at.played = played(*x);
    at.seconds = double(at.played) / x->rate;
    return fill(at, position, positionSize);
}

void xmplayer_set_tick_report(xmplayer* x, xmplayer_tick_report report, void* user) {
    if (!x) return;
    x->report = report;
    x->reportUser = user;
}

xmplayer_error xmplayer_seek_frame(xmplayer* x, int64_t frame) {
    if (!x || frame < 0) return XMPLAYER_ERROR_ARGUMENT;
    return guarded([&] {
        seekTo(*x, frame);
        return XMPLAYER_OK;
    });
}

xmplayer_error xmplayer_seek_ms(xmplayer* x, int64_t ms) {
    if (!x || ms < 0 || ms > INT64_MAX / XMPLAYER_RATE_MAX) return XMPLAYER_ERROR_ARGUMENT;
    return xmplayer_seek_frame(x, ms * x->rate / 1000);
}

xmplayer_error xmplayer_seek_row(xmplayer* x, int order, int row) {
    if (!x || order < 0 || order >= x->module->songLength || row < 0) return XMPLAYER_ERROR_ARGUMENT;
    return guarded([&] {
        const int64_t limit = kDurationLimitFrames / XMPLAYER_RATE * x->rate;
        const int64_t frame = findRowFrame(*x->module, order, row, x->loops < 0 ? 0 : x->loops, limit, *x->profile, x->rate);
        if (frame < 0) return XMPLAYER_ERROR_NOT_FOUND;
        seekTo(*x, frame);
        return XMPLAYER_OK;
    });
}

int xmplayer_set_order(xmplayer* x, int order) {
    if (!x || order < 0 || order >= x->module->songLength) return 0;
    Playback& p = x->playback;
    // What was rendered ahead of the caller is dropped: the song goes on from the last frame
    // handed out, and its end is looked for afresh.
    xmplayer_position now{};
    xmplayer_get_position(x, &now, sizeof now);
    p.framesMixed = played(*x);
    p.playTimeMs = now.time_ms;
    p.nextOrder = order;
    p.nextRow = 0;
    p.tick = 0;
    p.patternDelayTicks = 0;
    p.framesLeftInTick = 0;
    p.ended = false;
    x->blockSongFrames = x->handedOut;
    x->songEnd = startSongEnd(x->loops < 0 ? 0 : x->loops);
    x->fromStart = false;
    return 1;
}

int64_t xmplayer_song_frames(const xmplayer_module* module, xmplayer_profile profile, int loops, int64_t limit) {
    if (!module || !profileOf(profile, module)) return 0;
    try {
        return measureSongLength(*module->module, loops < 0 ? 0 : loops, limit, *profileOf(profile, module)).frames;
    } catch (...) {
        return 0;
    }
}

double xmplayer_song_duration(const xmplayer_module* module, xmplayer_profile profile, int loops) {
    if (!module || !profileOf(profile, module)) return -1;
    try {
        const SongLength length =
            measureSongLength(*module->module, loops < 0 ? 0 : loops, kDurationLimitFrames, *profileOf(profile, module));
        return length.ended ? double(length.frames) / XMPLAYER_RATE : -1.0;
    } catch (...) {
        return -1;
    }
}

xmplayer_error xmplayer_get_channel(xmplayer* x, int channel, xmplayer_channel* state, size_t stateSize) {
    if (!validChannel(x, channel)) return XMPLAYER_ERROR_ARGUMENT;
    Playback& p = x->playback;
    if (!x->watchChannels) {
        x->watchChannels = true;
        applyMixerSettings(*x);
    }
    const Channel& c = p.channels[channel];
    const Voice& v = *c.voice;
    xmplayer_channel full{};
    int32_t instrument = 0, slot = 0;
    if (v.sample && v.sample->data && findSample(*x->module, c.instrument, v.sample, instrument, slot)) {
        full.note = c.note + 1;
        full.instrument = instrument + 1;
        full.sample = slot;
    } else {
        full.sample = -1;
    }
    full.volume = float(v.volume) / 127.0f;
    full.panning = v.panning;
    full.frequency = v.frequency;
    Voice& a = p.mixer.voices[channel];
    Voice& b = p.mixer.voices[channel + kMaxChannels];
    full.level = std::max(a.peak, b.peak) / 32768.0f;
    a.peak = b.peak = 0.0f;
    full.silenced = (silencedChannels(*x) >> channel) & 1;
    return fill(full, state, stateSize);
}

xmplayer_error xmplayer_set_mute(xmplayer* x, int channel, int muted) {
    if (!validChannel(x, channel)) return XMPLAYER_ERROR_ARGUMENT;
    const uint32_t bit = uint32_t(1) << channel;
    x->muted = muted ? x->muted | bit : x->muted & ~bit;
    applyMixerSettings(*x);
    return XMPLAYER_OK;
}

xmplayer_error xmplayer_set_solo(xmplayer* x, int channel, int solo) {
    if (!validChannel(x, channel)) return XMPLAYER_ERROR_ARGUMENT;
    const uint32_t bit = uint32_t(1) << channel;
    x->solo = solo ? x->solo | bit : x->solo & ~bit;
    applyMixerSettings(*x);
    return XMPLAYER_OK;
}

}  // extern "C"
