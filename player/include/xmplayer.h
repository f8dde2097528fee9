/* xmplayer: plays XM modules (the extended module format of FastTracker 2), MODs (ProTracker's) and
 * S3Ms (Scream Tracker 3's) to 16-bit or float stereo at any rate from 8000 to 192000 frames per
 * second.
 *
 * A program loads a song once (xmplayer_load_*), makes one player per playback of it
 * (xmplayer_create) and asks each player for as many frames as it wants (xmplayer_render_*).
 *
 * Rate: chosen per player (xmplayer_set_rate); XMPLAYER_RATE, 44100, until then. The mixer runs
 * at that rate itself: steps, volume ramps and tick lengths are computed for it, nothing is
 * resampled afterwards.
 * Frames: interleaved stereo, left first. Panning 0 is hard left, 255 hard right.
 * Threads: a loaded module is read-only and may feed any number of players, on any threads.
 * One player is used by one thread at a time; different players may run on different threads
 * at once. Nothing in the library is global.
 * Errors: calls that can fail return an xmplayer_error (XMPLAYER_OK, 0, when they did not), or
 * NULL with the error in `*error`; the loaders also write one line of text into `reason` (cut to
 * `reason_size` bytes, terminator included). No C++ exception leaves the library.
 * NULL: every pointer argument may be NULL. A call given a NULL module, player or record does
 * nothing and returns what it says it returns for nothing: XMPLAYER_ERROR_ARGUMENT, NULL, 0,
 * −1 or "". The optional ones (`error`, `reason`, a loader's `name` and `user`, a report's
 * `user`) are simply not used.
 * Records the caller hands in (xmplayer_info, xmplayer_position, xmplayer_channel) go with their
 * size, `sizeof` of the record as the caller's header has it: the library fills that much and
 * no more, and sets the record's `size` to the bytes it filled (a size too small for the `size`
 * field itself is refused). A later version only appends fields, so programs built against this
 * header keep working with later libraries. */
#ifndef XMPLAYER_H
#define XMPLAYER_H

#include <stddef.h>
#include <stdint.h>

/* Windows: programs that link the DLL (the default) import its functions; programs that link
 * the static library define XMPLAYER_STATIC (the CMake target XmPlayer::xmplayer_static does). */
#if defined(_WIN32) && defined(XMPLAYER_BUILDING_DLL)
#define XMPLAYER_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(XMPLAYER_STATIC)
#define XMPLAYER_API __declspec(dllimport)
#elif defined(__GNUC__)
#define XMPLAYER_API __attribute__((visibility("default")))
#else
#define XMPLAYER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, as compiled against; xmplayer_version() says which one is linked. The
 * major number changes whenever the binary interface does (it is the shared library's SONAME).
 * XMPLAYER_VERSION is one number to compare: 20100 for 2.1.0. */
#define XMPLAYER_VERSION_MAJOR 2
#define XMPLAYER_VERSION_MINOR 0
#define XMPLAYER_VERSION_PATCH 0
#define XMPLAYER_VERSION (XMPLAYER_VERSION_MAJOR * 10000 + XMPLAYER_VERSION_MINOR * 100 + XMPLAYER_VERSION_PATCH)

/* The linked library's version, "MAJOR.MINOR.PATCH". */
XMPLAYER_API const char* xmplayer_version(void);

typedef enum xmplayer_error {
    XMPLAYER_OK = 0,
    XMPLAYER_ERROR_ARGUMENT = 1,      /* a NULL, or a value out of its range */
    XMPLAYER_ERROR_OUT_OF_MEMORY = 2,
    XMPLAYER_ERROR_OPEN = 3,          /* the file or stream does not open */
    XMPLAYER_ERROR_READ = 4,          /* the stream failed to read or seek */
    XMPLAYER_ERROR_FORMAT = 5,        /* not a module of a format it reads (XM, MOD, S3M) */
    XMPLAYER_ERROR_UNPLAYABLE = 6,    /* an XM module the player cannot play (e.g. 33 channels) */
    XMPLAYER_ERROR_NOT_FOUND = 7,     /* the song never plays that row */
    XMPLAYER_ERROR_INTERNAL = 8       /* anything else going wrong inside the library */
} xmplayer_error;

/* A short text for an error code, e.g. "out of memory"; "unknown error" for other values. */
XMPLAYER_API const char* xmplayer_error_text(xmplayer_error error);

/* --- Loading ----------------------------------------------------------------------------- */

typedef struct xmplayer_module xmplayer_module; /* a loaded song: read-only */

/* From `size` bytes at `bytes`, which are copied: the caller may free them afterwards.
 * `error`, `reason` may be NULL. */
XMPLAYER_API xmplayer_module* xmplayer_load_memory(const void* bytes, size_t size, xmplayer_error* error, char* reason,
                                                   size_t reason_size);

/* From a file. */
XMPLAYER_API xmplayer_module* xmplayer_load_file(const char* path, xmplayer_error* error, char* reason,
                                                 size_t reason_size);

/* From anywhere, through five callbacks. `open` gets the name and the user pointer given to
 * xmplayer_load_stream and returns a handle (NULL: it cannot be opened); the others get that
 * handle. `read` copies up to `count` bytes and returns how many it copied (0 at the end, −1 when
 * it fails); `seek` moves to `offset` from the start (origin 0), the current position (1) or the
 * end (2) and returns 0, or −1 when it cannot; `tell` returns the position (−1: it fails).
 * The loader reads a module of at most 2^31 − 1 bytes. */
typedef struct xmplayer_stream_callbacks {
    void*   (*open)(const char* name, void* user);
    void    (*close)(void* handle);
    int64_t (*read)(void* handle, void* buffer, int64_t count);
    int     (*seek)(void* handle, int64_t offset, int origin);
    int64_t (*tell)(void* handle);
} xmplayer_stream_callbacks;

XMPLAYER_API xmplayer_module* xmplayer_load_stream(const xmplayer_stream_callbacks* callbacks, const char* name,
                                                   void* user, xmplayer_error* error, char* reason,
                                                   size_t reason_size);

/* Releases a module. Every player made from it must have been freed first. */
XMPLAYER_API void xmplayer_free_module(xmplayer_module* module);

/* --- What the song is -------------------------------------------------------------------- */

typedef struct xmplayer_info {
    size_t  size;           /* bytes of this record the library filled */
    char    title[21];      /* the module's name, without trailing spaces */
    char    tracker[21];    /* the tracker that wrote it */
    char    format[8];      /* "XM", "MOD" or "S3M" */
    int32_t channels;       /* 1…32 */
    int32_t orders;         /* entries of the order list, 1…256 */
    int32_t restart_order;  /* the entry the song goes on at after the last */
    int32_t patterns;
    int32_t instruments;    /* 0…128 */
    int32_t samples;        /* in all instruments together */
    int32_t linear_periods; /* 1: linear frequency table; 0: Amiga periods */
    int32_t tempo;          /* ticks per row at the start */
    int32_t bpm;            /* at the start */
    int64_t missing_bytes;  /* the file ended this many bytes short of what its headers declare;
                             * those play as silence */
} xmplayer_info;

XMPLAYER_API xmplayer_error xmplayer_get_info(const xmplayer_module* module, xmplayer_info* info, size_t info_size);

/* The format the module was loaded from (the content decides, not the file's name). */
typedef enum xmplayer_format {
    XMPLAYER_FORMAT_XM = 0,
    XMPLAYER_FORMAT_MOD = 1, /* ProTracker's 31 samples, its relatives' signatures, Soundtracker's 15 */
    XMPLAYER_FORMAT_S3M = 2
} xmplayer_format;

/* The module's format; XM for NULL. */
XMPLAYER_API xmplayer_format xmplayer_module_format(const xmplayer_module* module);

/* "XM", "MOD" or "S3M"; NULL for a number no format has. */
XMPLAYER_API const char* xmplayer_format_name(int format);

/* What the loader warns of, one line each ending in a newline (Adlib instruments that play
 * silent, bytes the file lacks), or "" when nothing. Lives as long as the module; "" for NULL. */
XMPLAYER_API const char* xmplayer_module_warnings(const xmplayer_module* module);

/* Names without trailing spaces; "" past the last instrument or sample (or for a NULL module).
 * Indices count from 0. */
XMPLAYER_API const char* xmplayer_instrument_name(const xmplayer_module* module, int instrument);
XMPLAYER_API int         xmplayer_instrument_samples(const xmplayer_module* module, int instrument); /* 0…16 */
XMPLAYER_API const char* xmplayer_sample_name(const xmplayer_module* module, int instrument, int sample);

/* The pattern that order-list entry `order` names (−1 past the list or for NULL), and a
 * pattern's rows (0 past the last pattern or for NULL). */
XMPLAYER_API int xmplayer_order_pattern(const xmplayer_module* module, int order);
XMPLAYER_API int xmplayer_pattern_rows(const xmplayer_module* module, int pattern);

/* One cell of a pattern, as the file has it. This record is the format's and stays as it is. */
typedef struct xmplayer_cell {
    uint8_t note;       /* 0 none, 1…96 (C-0 … B-7), 97 key off */
    uint8_t instrument; /* 0 none, 1…128 */
    uint8_t volume;     /* the volume column's byte */
    uint8_t effect;     /* 0…35: the effect letter's number (0–9, then A = 10 … Z = 35) */
    uint8_t parameter;
} xmplayer_cell;

/* Copies the cells of row `row` of pattern `pattern`, one per channel, into `cells` (room for
 * `count`) and returns the song's channel count; fewer than that are copied when `count` is
 * smaller, none for NULL `cells`. 0 for a row or pattern that does not exist, or a NULL module. */
XMPLAYER_API int xmplayer_get_row(const xmplayer_module* module, int pattern, int row, xmplayer_cell* cells,
                                  size_t count);

/* --- Playing ----------------------------------------------------------------------------- */

typedef struct xmplayer xmplayer; /* one playback of one module */

/* How effects behave where trackers differ. DEFAULT is the demo's player; FT2 plays a module as
 * FastTracker 2 does (pick it for any XM that is not the demo's), PT as ProTracker, ST3 as Scream
 * Tracker 3. Profiles are numbered from 0 to xmplayer_profile_count() - 1. AUTO is none of them:
 * it stands for the tracker of the module's own format (FT2 for XM, PT for MOD, ST3 for S3M)
 * wherever a profile is asked for. */
typedef enum xmplayer_profile {
    XMPLAYER_PROFILE_DEFAULT = 0,
    XMPLAYER_PROFILE_FT2 = 1,
    XMPLAYER_PROFILE_PT = 2,
    XMPLAYER_PROFILE_ST3 = 3,
    XMPLAYER_PROFILE_AUTO = 0x100
} xmplayer_profile;

XMPLAYER_API int xmplayer_profile_count(void);

/* The profile called `name` ("default", "ft2", "pt", "st3", or "auto" for XMPLAYER_PROFILE_AUTO;
 * case counts), or -1 when none is, or for NULL. */
XMPLAYER_API int xmplayer_profile_from_name(const char* name);

/* Profile `profile`'s name, and one line that says how it plays (AUTO's too); NULL for a number no
 * profile has. The strings live as long as the library. */
XMPLAYER_API const char* xmplayer_profile_name(int profile);
XMPLAYER_API const char* xmplayer_profile_description(int profile);

/* The profile XMPLAYER_PROFILE_AUTO stands for with this module: its format's tracker. */
XMPLAYER_API xmplayer_profile xmplayer_module_profile(const xmplayer_module* module);

/* A player at the start of the song (order 0, row 0), at 44100 frames per second, linear
 * interpolation, 100 % separation and 0 dB. NULL when `module` is NULL, `profile` is no
 * profile's number (nor AUTO), or memory is short. */
XMPLAYER_API xmplayer* xmplayer_create(const xmplayer_module* module, xmplayer_profile profile);
XMPLAYER_API void      xmplayer_free(xmplayer* player);

#define XMPLAYER_RATE     44100  /* the rate of a new player */
#define XMPLAYER_RATE_MIN 8000
#define XMPLAYER_RATE_MAX 192000

/* The player renders the song in blocks of about 20 ms from its first frame on, as the demo's
 * audio ring does, and hands them out in whatever pieces are asked for: rendering in whole
 * blocks saves a copy, and gives the same values as any other split. A block is
 * (rate / 50 + 3) frames rounded down to a multiple of 4: 884 at 44100, 960 at 48000. */
#define XMPLAYER_BLOCK_FRAMES 884 /* at XMPLAYER_RATE */
XMPLAYER_API int32_t xmplayer_block_frames(int32_t rate); /* 0 for a rate out of range */

/* Frames per second, XMPLAYER_RATE_MIN…XMPLAYER_RATE_MAX. The song goes on at the same time
 * position (the frame at the new rate that time reaches, as xmplayer_seek_frame goes there).
 * At 44100 every value is the demo's. */
XMPLAYER_API xmplayer_error xmplayer_set_rate(xmplayer* player, int32_t rate);
XMPLAYER_API int32_t        xmplayer_get_rate(const xmplayer* player); /* 0 for NULL */

/* How a sample is read between its frames. Takes effect from the next block. */
typedef enum xmplayer_interpolation {
    XMPLAYER_INTERPOLATION_NONE = 0,   /* the nearest frame before: hard, as old hardware */
    XMPLAYER_INTERPOLATION_LINEAR = 1, /* the default: the demo's sound */
    XMPLAYER_INTERPOLATION_CUBIC = 2   /* 4-point cubic (Catmull-Rom): smoother highs */
} xmplayer_interpolation;

XMPLAYER_API xmplayer_error xmplayer_set_interpolation(xmplayer* player, xmplayer_interpolation interpolation);
/* The interpolation called "none", "linear" or "cubic"; −1 for any other name or NULL. */
XMPLAYER_API int xmplayer_interpolation_by_name(const char* name);

/* Stereo separation in percent, 0 (mono) … 200 (the sides doubled); 100, the default, is the
 * song's own panning. Gain in dB, −100…40; 0, the default, leaves the values as they are. Both
 * apply from the next frame handed out, to the 16-bit and float output alike. */
XMPLAYER_API xmplayer_error xmplayer_set_separation(xmplayer* player, int32_t percent);
XMPLAYER_API xmplayer_error xmplayer_set_gain(xmplayer* player, double decibels);

/* The song's end: the first time the player is about to play a row it has already played (the
 * same order-list entry and row, in the same pattern-loop state): a jump back, a jump to itself
 * or the end of the order list. A player stops there after `loops` further plays of the song
 * (0, the default: once through); a negative count plays for ever. Set before rendering: a later
 * call counts the plays afresh from where the player is. */
XMPLAYER_API void xmplayer_set_loops(xmplayer* player, int loops);

/* Renders up to `frames` stereo frames into `out` (2 × frames values) and returns how many it
 * rendered: fewer only at the song's end, then 0. The 16-bit values are rounded to nearest (ties
 * to even) and limited to −32768…32767; the float values are what the 16-bit ones are rounded
 * from, divided by 32768, not limited (a loud song gives values beyond ±1). Rendering is the
 * same whatever `frames` is asked for: any split of a render gives the same values in the same
 * order. 0 for a NULL player or `out`. */
XMPLAYER_API size_t xmplayer_render_s16(xmplayer* player, int16_t* out, size_t frames);
XMPLAYER_API size_t xmplayer_render_float(xmplayer* player, float* out, size_t frames);

/* 1 once the song has ended and every frame of it has been handed out (see xmplayer_set_loops);
 * 0 before, and for NULL. */
XMPLAYER_API int xmplayer_ended(const xmplayer* player);

/* Where a player is: the tick that sounds at the last frame handed out (before any: the tick
 * at the next frame), with the play time at the end of that frame. */
typedef struct xmplayer_position {
    size_t  size;          /* bytes of this record the library filled */
    int64_t frame;         /* the frame at which this tick began (from the song's start) */
    int32_t order;         /* order-list entry */
    int32_t pattern;       /* the pattern it names */
    int32_t row;
    int32_t tick;          /* within the row, from 0 */
    int32_t row_ticks;     /* ticks this row lasts: its tempo plus any pattern delay */
    int32_t tempo;         /* ticks per row */
    int32_t bpm;
    int32_t global_volume; /* 0…64 */
    int32_t time_ms;       /* play time as the demo counts it: each stretch of frames between two
                            * ticks or block ends in whole ms, cut down, so it runs behind real
                            * time (a 20-ms tick at BPM 125 counts 19 ms: 5 % behind) */
    int64_t played;        /* frames from the song's start to the end of that frame (a tick
                            * report: to the tick's first frame) */
    double  seconds;       /* exact play time: played / rate */
} xmplayer_position;

XMPLAYER_API xmplayer_error xmplayer_get_position(const xmplayer* player, xmplayer_position* position,
                                                  size_t position_size);

/* Called once per tick, with where it is and the play time at its start, from the render call
 * that hands out the tick's first frame; NULL turns the report off. The record is the
 * library's, valid during the call; its `size` says which fields it holds. */
typedef void (*xmplayer_tick_report)(const xmplayer_position* tick, void* user);
XMPLAYER_API void xmplayer_set_tick_report(xmplayer* player, xmplayer_tick_report report, void* user);

/* --- Seeking ----------------------------------------------------------------------------- */

/* Goes to frame `frame` of the song (at the player's rate, counted from the song's start as an
 * unbroken render counts it, its loop count included): the next frame rendered is exactly the
 * frame an unbroken render gives there. Past the song's end the player is at the end
 * (xmplayer_ended). The sequencer runs up to there and the voices move as mixing moves them,
 * without summing a sample: far cheaper than rendering. */
XMPLAYER_API xmplayer_error xmplayer_seek_frame(xmplayer* player, int64_t frame);
/* The same for a time in milliseconds: frame ms × rate / 1000, cut down. */
XMPLAYER_API xmplayer_error xmplayer_seek_ms(xmplayer* player, int64_t ms);
/* The same for the first time the song, played from its start, plays row `row` of order-list
 * entry `order` (its loop count included; the first pass when it plays for ever), looking as far
 * as xmplayer_song_duration looks.
 * XMPLAYER_ERROR_NOT_FOUND, and nothing changes, when it never does. */
XMPLAYER_API xmplayer_error xmplayer_seek_row(xmplayer* player, int order, int row);

/* A jump, as a pattern's Bxx is: continues at row 0 of order-list entry `order` with the next
 * frame rendered, every channel as it stands (the notes rendered ahead of the caller go on);
 * the song's end is looked for afresh. 0 when `order` is past the order list (nothing changes),
 * 1 otherwise. */
XMPLAYER_API int xmplayer_set_order(xmplayer* player, int order);

/* The song's length in frames at 44100 by the rule of xmplayer_set_loops, as a player of
 * `profile` (or AUTO) plays it; at most `limit` frames (and 2^22 ticks, 23 hours at BPM 125) are played to
 * find out (then `limit` is returned).
 * The sequencer runs alone: no voice is mixed. 0 when `module` is NULL, `profile` is no
 * profile's number or memory is short. */
XMPLAYER_API int64_t xmplayer_song_frames(const xmplayer_module* module, xmplayer_profile profile, int loops,
                                          int64_t limit);
/* The same in seconds (frames / 44100), looking up to 24 hours (and 2^22 ticks) far; −1 when the
 * song has not ended by then, for a NULL module or no profile's number, or when memory is short. */
XMPLAYER_API double xmplayer_song_duration(const xmplayer_module* module, xmplayer_profile profile, int loops);

/* --- Channels ---------------------------------------------------------------------------- */

/* What a channel plays, as it stands after the last block rendered (at most one block, about
 * 20 ms, ahead of the frames handed out). */
typedef struct xmplayer_channel {
    size_t  size;       /* bytes of this record the library filled */
    int32_t note;       /* 1…96 (C-0 = 1), the note the channel plays; 0 while it plays none */
    int32_t instrument; /* 1…128; 0 while it plays none */
    int32_t sample;     /* within the instrument, from 0; −1 while it plays none */
    float   volume;     /* final volume: 1.0 with note, envelope, fadeout and global volume full */
    int32_t panning;    /* final panning, 0…255 */
    int32_t frequency;  /* Hz of the sample's playback */
    float   level;      /* the loudest value the channel added to either side since the last call,
                         * 1.0 = full scale; the first call starts the measuring and gives 0 */
    int32_t silenced;   /* 1 while muted (or another channel is solo) */
} xmplayer_channel;

/* `channel` counts from 0, below the song's channel count (at most 32). While channels are
 * watched (from the first call on) the mixer measures their levels on a plainer path, several
 * times slower than its fastest (the values it mixes stay the same). */
XMPLAYER_API xmplayer_error xmplayer_get_channel(xmplayer* player, int channel, xmplayer_channel* state,
                                                 size_t state_size);

/* A muted channel is not mixed at all (its notes go on silently, so unmuting finds them where
 * they would be). While any channel is solo only solo channels sound. Both take effect from the
 * next block. */
XMPLAYER_API xmplayer_error xmplayer_set_mute(xmplayer* player, int channel, int muted);
XMPLAYER_API xmplayer_error xmplayer_set_solo(xmplayer* player, int channel, int solo);

#ifdef __cplusplus
}
#endif

#endif /* XMPLAYER_H */
