/* xmplayer: plays XM modules (the extended module format of FastTracker 2), MODs (ProTracker's) and
 * S3Ms (Scream Tracker 3's) to 16-bit or float stereo at 44100 frames per second.
 *
 * A program loads a song once (xmplayer_load_*), makes one player per playback of it
 * (xmplayer_create) and asks each player for as many frames as it wants (xmplayer_render_*).
 *
 * Rate: 44100 frames per second, always: the player mixes at this rate only (XMPLAYER_RATE).
 * Frames: interleaved stereo, left first. Panning 0 is hard left, 255 hard right.
 * Threads: a loaded module is read-only and may feed any number of players, on any threads.
 * One player is used by one thread at a time; different players may run on different threads
 * at once. Nothing in the library is global.
 * Errors: a call that fails returns NULL or 0 and, where it takes a `reason` buffer, writes one
 * line of text into it (cut to `reason_size` bytes, terminator included). */
#ifndef XMPLAYER_H
#define XMPLAYER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(XMPLAYER_SHARED)
#define XMPLAYER_API __declspec(dllexport)
#elif defined(__GNUC__)
#define XMPLAYER_API __attribute__((visibility("default")))
#else
#define XMPLAYER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, as compiled against; xmplayer_version() says which one is linked. The
 * major number changes whenever the binary interface does (it is the shared library's SONAME). */
#define XMPLAYER_VERSION_MAJOR 1
#define XMPLAYER_VERSION_MINOR 2
#define XMPLAYER_VERSION_PATCH 0

#define XMPLAYER_RATE 44100 /* frames per second of every render */

/* The player renders the song in blocks of this many frames (20 ms) from its first frame on, as
 * the demo's audio ring does, and hands them out in whatever pieces are asked for: rendering in
 * whole blocks saves a copy, and gives the same values as any other split. */
#define XMPLAYER_BLOCK_FRAMES 884

/* The linked library's version, "MAJOR.MINOR.PATCH". */
XMPLAYER_API const char* xmplayer_version(void);

/* --- Loading ----------------------------------------------------------------------------- */

typedef struct xmplayer_module xmplayer_module; /* a loaded song: read-only */

/* From `size` bytes at `bytes`, which are copied: the caller may free them afterwards. */
XMPLAYER_API xmplayer_module* xmplayer_load_memory(const void* bytes, size_t size, char* reason, size_t reason_size);

/* From a file. */
XMPLAYER_API xmplayer_module* xmplayer_load_file(const char* path, char* reason, size_t reason_size);

/* From anywhere, through five callbacks. `open` gets the name given to xmplayer_load_stream and
 * returns a handle (NULL: it cannot be opened); the others get that handle. `read` copies up to
 * `count` bytes and returns how many it copied (0 at the end); `seek` moves to `offset` from the
 * start (origin 0), the current position (1) or the end (2); `tell` returns the position. */
typedef struct xmplayer_stream_callbacks {
    void* (*open)(const char* name);
    void (*close)(void* handle);
    int32_t (*read)(void* buffer, int32_t count, void* handle);
    void (*seek)(void* handle, int32_t offset, int origin);
    int32_t (*tell)(void* handle);
} xmplayer_stream_callbacks;

XMPLAYER_API xmplayer_module* xmplayer_load_stream(const xmplayer_stream_callbacks* callbacks, const char* name, char* reason,
                                      size_t reason_size);

/* Releases a module. Every player made from it must have been freed first. NULL does nothing. */
XMPLAYER_API void xmplayer_free_module(xmplayer_module* module);

/* --- What the song is -------------------------------------------------------------------- */

typedef struct xmplayer_info {
    char    title[21];      /* the module's name, without trailing spaces */
    char    tracker[21];    /* the tracker that wrote it */
    int     channels;       /* 1…32 */
    int     orders;         /* entries of the order list, 1…256 */
    int     patterns;
    int     instruments;    /* 0…128 */
    int     linear_periods; /* 1: linear frequency table; 0: Amiga periods */
    int64_t missing_bytes;  /* the file ended this many bytes early; those play as silence */
} xmplayer_info;

XMPLAYER_API void xmplayer_get_info(const xmplayer_module* module, xmplayer_info* info);

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

/* Instrument `index` (from 0)'s name, without trailing spaces; "" past the last instrument. */
XMPLAYER_API const char* xmplayer_instrument_name(const xmplayer_module* module, int index);

/* --- Playing ----------------------------------------------------------------------------- */

typedef struct xmplayer xmplayer; /* one playback of one module */

/* How effects behave where trackers differ. DEFAULT is the demo's player; FT2 plays a module as
 * FastTracker 2 does, PT as ProTracker, ST3 as Scream Tracker 3. Profiles are numbered from 0 to
 * xmplayer_profile_count() - 1. AUTO is none of them: it stands for the tracker of the module's
 * own format (FT2 for XM, PT for MOD, ST3 for S3M) wherever a profile is asked for. */
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

/* A player at the start of the song (order 0, row 0). NULL when `module` is NULL, `profile` is
 * no profile's number (nor AUTO), or memory is short. */
XMPLAYER_API xmplayer* xmplayer_create(const xmplayer_module* module, xmplayer_profile profile);
XMPLAYER_API void      xmplayer_free(xmplayer* player);

/* The song's end: the first time the player is about to play a row it has already played (the
 * same order-list entry and row, in the same pattern-loop state): a jump back, a jump to itself
 * or the end of the order list. A player stops there after `loops` further plays of the song
 * (0, the default: once through); a negative count plays for ever. Set before rendering: a later
 * call counts the plays afresh from where the player is. */
XMPLAYER_API void xmplayer_set_loops(xmplayer* player, int loops);

/* Renders up to `frames` stereo frames into `out` (2 × frames values) and returns how many it
 * rendered: fewer only at the song's end, then 0. The 16-bit values are rounded to nearest (ties
 * to even) and limited to −32768…32767; the float values are what the 16-bit ones are rounded
 * from, divided by 32768, not limited. Rendering is the same whatever `frames` is asked for:
 * any split of a render gives the same values in the same order. */
XMPLAYER_API size_t xmplayer_render_s16(xmplayer* player, int16_t* out, size_t frames);
XMPLAYER_API size_t xmplayer_render_float(xmplayer* player, float* out, size_t frames);

/* 1 once the song has ended (see xmplayer_set_loops). */
XMPLAYER_API int xmplayer_ended(const xmplayer* player);

/* Where a player is: the tick that sounds at the last frame rendered (before any: the song's
 * start), with the play time at that frame. */
typedef struct xmplayer_position {
    int64_t frame;         /* the frame at which this tick began (from the song's start) */
    int     order;         /* order-list entry */
    int     pattern;       /* the pattern it names */
    int     row;
    int     tick;          /* within the row, from 0 */
    int     row_ticks;     /* ticks this row lasts: its tempo plus any pattern delay */
    int     tempo;         /* ticks per row */
    int     bpm;
    int     global_volume; /* 0…64 */
    int32_t time_ms;       /* play time as the player counts it (slightly behind real time) */
} xmplayer_position;

XMPLAYER_API void xmplayer_get_position(const xmplayer* player, xmplayer_position* position);

/* Continues at row 0 of order-list entry `order` with the next frame rendered. 0 when `order` is
 * past the order list (nothing changes), 1 otherwise. */
XMPLAYER_API int xmplayer_set_order(xmplayer* player, int order);

/* Called once per tick, with where it is and `time_ms` at its start, from the render call that
 * hands out the tick's first frame; NULL turns the report off. */
typedef void (*xmplayer_tick_report)(const xmplayer_position* tick, void* user);
XMPLAYER_API void xmplayer_set_tick_report(xmplayer* player, xmplayer_tick_report report, void* user);

/* The song's length in frames by the rule of xmplayer_set_loops, as a player of `profile` (or
 * AUTO) plays it; at most `limit` frames are played to find out (then `limit` is returned). 0 when
 * `module` is NULL or `profile` is no profile's number. */
XMPLAYER_API int64_t xmplayer_song_frames(const xmplayer_module* module, xmplayer_profile profile, int loops, int64_t limit);

#ifdef __cplusplus
}
#endif

#endif /* XMPLAYER_H */
