#pragma once
// The loader reads its input only through five callbacks that the host installs, so the player
// knows nothing of files, resources or memory. Three sets are provided: the resource stream over
// the song embedded in the program (what the demo uses), a memory stream over any byte buffer
// (tests, fuzzing), and a file stream (tools). All three follow the same read and seek rules.
#include <cstddef>
#include <cstdint>

// Where a seek's offset counts from. Any other value leaves the position unchanged.
enum class SeekOrigin : uint8_t { start = 0, current = 1, end = 2 };

// A stream handle is whatever `open` returned; only the callbacks look inside it.
using StreamOpenCallback = void* (*)(const char* name);  // nullptr: cannot be opened
using StreamCloseCallback = void (*)(void* handle);
using StreamReadCallback = int32_t (*)(void* buffer, int32_t count, void* handle);  // bytes copied
using StreamSeekCallback = void (*)(void* handle, int32_t offset, SeekOrigin origin);
using StreamTellCallback = int32_t (*)(void* handle);  // bytes from the start

// Always all five set or all five nullptr.
struct StreamCallbacks {
    StreamOpenCallback  open;
    StreamCloseCallback close;
    StreamReadCallback  read;
    StreamSeekCallback  seek;
    StreamTellCallback  tell;
};

// The bytes the memory stream opens, whatever name it is given. Not owned.
struct MemoryStreamSource {
    const uint8_t* bytes;
    size_t         size;  // bytes
};

// Everything the streams keep between calls. Tests reset it with `streamState() = {}`.
struct StreamState {
    StreamCallbacks    callbacks;
    MemoryStreamSource memorySource;
};

StreamState& streamState();

// Installs the five callbacks when all are set; clears all five when any is nullptr.
void setStreamCallbacks(StreamOpenCallback open, StreamCloseCallback close, StreamReadCallback read,
                        StreamSeekCallback seek, StreamTellCallback tell);

// True when a complete set is installed.
bool streamCallbacksInstalled();

// The loader's open stream: the handle the installed `open` returned.
struct ModuleStream {
    void* handle;
};

// Opens `name` through the installed callbacks; nullptr when none are installed or `open` fails.
// The caller owns the result and releases it with streamClose.
ModuleStream* streamOpen(const char* name);

// The operations below do nothing (and return 0) for a stream that is nullptr.
void    streamClose(ModuleStream* stream);  // closes the handle and releases the record
int32_t streamRead(void* buffer, int32_t count, ModuleStream* stream);  // bytes copied
void    streamSeek(ModuleStream* stream, int32_t offset, SeekOrigin origin);
int32_t streamTell(ModuleStream* stream);

// A read-only stream over bytes that outlive it. Reads never copy past `size`: a read that
// reaches the end copies what remains and leaves `position` at `size`. A seek lands inside
// 0…size: beyond the end becomes `size`, before the start becomes 0.
struct ResourceStream {
    int32_t        size;      // bytes
    int32_t        position;  // next byte to read, 0…size
    const uint8_t* data;      // not owned; nullptr when there are no bytes
};

// The song embedded as type "XM", number 118, whatever `name` says. Never fails: without such a
// resource the stream is empty, so the loader refuses it at the ID text.
void*   resourceStreamOpen(const char* name);
void    resourceStreamClose(void* handle);
int32_t resourceStreamRead(void* buffer, int32_t count, void* handle);
void    resourceStreamSeek(void* handle, int32_t offset, SeekOrigin origin);
int32_t resourceStreamTell(void* handle);

// The memory stream: a ResourceStream over the bytes of setMemoryStreamSource instead of the
// embedded song, whatever `name` says, so its close, read, seek and tell are the resource
// stream's. Sources above 2^31 − 1 bytes are seen cut to that length (positions are int32).
void  setMemoryStreamSource(const uint8_t* bytes, size_t size);
void* memoryStreamOpen(const char* name);

// Points the memory stream at `bytes` and installs it as the stream callbacks.
void useMemoryStream(const uint8_t* bytes, size_t size);

// The file stream: `name` is a path, read through stdio. Same read and seek rules as the resource
// stream. Open fails for a file that cannot be opened or is 2^31 bytes or more.
void*   fileStreamOpen(const char* path);
void    fileStreamClose(void* handle);
int32_t fileStreamRead(void* buffer, int32_t count, void* handle);
void    fileStreamSeek(void* handle, int32_t offset, SeekOrigin origin);
int32_t fileStreamTell(void* handle);
