#pragma once
// The loader reads its input only through five callbacks, so the player knows nothing of files,
// resources or memory. Two sets are provided: a memory stream over any bytes (the demo's embedded
// song, tests, fuzzing) and a file stream (tools). Both follow the same read and seek rules.
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

struct StreamCallbacks {
    StreamOpenCallback  open;
    StreamCloseCallback close;
    StreamReadCallback  read;
    StreamSeekCallback  seek;
    StreamTellCallback  tell;
};

// True when all five are set: only such a set is used.
bool streamCallbacksComplete(const StreamCallbacks& callbacks);

// The loader's open stream: the handle `open` returned and the callbacks that read it.
struct ModuleStream {
    const StreamCallbacks* callbacks;
    void*                  handle;
};

// Opens `name` through `callbacks`; nullptr when the set is incomplete or `open` fails. The caller
// owns the result and releases it with streamClose; `callbacks` must outlive it.
ModuleStream* streamOpen(const StreamCallbacks& callbacks, const char* name);

// The operations below do nothing (and return 0) for a stream that is nullptr.
void    streamClose(ModuleStream* stream);  // closes the handle and releases the record
int32_t streamRead(void* buffer, int32_t count, ModuleStream* stream);  // bytes copied
void    streamSeek(ModuleStream* stream, int32_t offset, SeekOrigin origin);
int32_t streamTell(ModuleStream* stream);

// A read-only stream over bytes that outlive it. Reads never copy past `size`: a read that
// reaches the end copies what remains and leaves `position` at `size`. A seek lands inside
// 0…size: beyond the end becomes `size`, before the start becomes 0. Blocks above 2^31 − 1 bytes
// are seen cut to that length (positions are int32).
struct MemoryStream {
    int32_t        size;      // bytes
    int32_t        position;  // next byte to read, 0…size
    const uint8_t* data;      // not owned; nullptr when there are no bytes
};

// A memory stream over `size` bytes at `bytes`, as a handle for memoryStreamCallbacks.
void* memoryStreamOpen(const uint8_t* bytes, size_t size);
void    memoryStreamClose(void* handle);
int32_t memoryStreamRead(void* buffer, int32_t count, void* handle);
void    memoryStreamSeek(void* handle, int32_t offset, SeekOrigin origin);
int32_t memoryStreamTell(void* handle);

// The memory stream's close, read, seek and tell. Its `open` opens nothing by name: a memory
// stream is opened with memoryStreamOpen and handed to the loader directly.
extern const StreamCallbacks memoryStreamCallbacks;

// The file stream: `name` is a path, read through stdio, with the memory stream's read and seek
// rules. Open fails for a file that cannot be opened or is 2^31 bytes or more.
void*   fileStreamOpen(const char* path);
void    fileStreamClose(void* handle);
int32_t fileStreamRead(void* buffer, int32_t count, void* handle);
void    fileStreamSeek(void* handle, int32_t offset, SeekOrigin origin);
int32_t fileStreamTell(void* handle);

extern const StreamCallbacks fileStreamCallbacks;
