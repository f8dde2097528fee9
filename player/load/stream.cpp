#include "player/load/stream.h"

#include <cstdio>
#include <cstring>
#include <limits>


namespace {

constexpr int32_t kMaxStreamSize = std::numeric_limits<int32_t>::max();

// The read rule every stream follows: a read that would reach the end copies only what remains.
// `position` lies in 0…size. The sum is taken in 64 bits so a count near 2^31 cannot overflow;
// a count of 0 or less copies nothing (a negative count would otherwise become a negative copy).
int32_t readableBytes(int32_t position, int32_t size, int32_t count) {
    if (count <= 0) return 0;
    if (int64_t(position) + count >= size) return size - position;
    return count;
}

// The seek rule: the new position from the origin, kept inside 0…size.
int32_t seekTarget(int32_t position, int32_t size, int32_t offset, SeekOrigin origin) {
    int64_t target;
    switch (origin) {
        case SeekOrigin::start: target = offset; break;
        case SeekOrigin::current: target = int64_t(position) + offset; break;
        case SeekOrigin::end: target = int64_t(size) + offset; break;
        default: return position;
    }
    if (target > size) return size;
    if (target < 0) return 0;
    return int32_t(target);
}

// An open file with the same position rules as the memory streams; the FILE's own position is
// kept equal to `position`.
struct FileStream {
    std::FILE* file;
    int32_t    size;      // bytes, measured at open
    int32_t    position;  // 0…size
};

void* openNothing(const char*) { return nullptr; }

}  // namespace

bool streamCallbacksComplete(const StreamCallbacks& c) { return c.open && c.close && c.read && c.seek && c.tell; }

ModuleStream* streamOpen(const StreamCallbacks& callbacks, const char* name) {
    if (!streamCallbacksComplete(callbacks)) return nullptr;
    void* handle = callbacks.open(name);
    return handle ? new ModuleStream{&callbacks, handle} : nullptr;
}

void streamClose(ModuleStream* stream) {
    if (!stream) return;
    stream->callbacks->close(stream->handle);
    delete stream;
}

int32_t streamRead(void* buffer, int32_t count, ModuleStream* stream) {
    return stream ? stream->callbacks->read(buffer, count, stream->handle) : 0;
}

void streamSeek(ModuleStream* stream, int32_t offset, SeekOrigin origin) {
    if (stream) stream->callbacks->seek(stream->handle, offset, origin);
}

int32_t streamTell(ModuleStream* stream) { return stream ? stream->callbacks->tell(stream->handle) : 0; }

void* memoryStreamOpen(const uint8_t* bytes, size_t size) {
    MemoryStream* s = new MemoryStream{};
    s->size = bytes ? int32_t(size < size_t(kMaxStreamSize) ? size : size_t(kMaxStreamSize)) : 0;
    s->position = 0;
    s->data = s->size ? bytes : nullptr;
    return s;
}

void memoryStreamClose(void* handle) { delete static_cast<MemoryStream*>(handle); }

int32_t memoryStreamRead(void* buffer, int32_t count, void* handle) {
    MemoryStream& s = *static_cast<MemoryStream*>(handle);
    const int32_t n = readableBytes(s.position, s.size, count);
    if (n > 0) std::memcpy(buffer, s.data + s.position, size_t(n));
    s.position += n;
    return n;
}

void memoryStreamSeek(void* handle, int32_t offset, SeekOrigin origin) {
    MemoryStream& s = *static_cast<MemoryStream*>(handle);
    s.position = seekTarget(s.position, s.size, offset, origin);
}

int32_t memoryStreamTell(void* handle) { return static_cast<MemoryStream*>(handle)->position; }

const StreamCallbacks memoryStreamCallbacks = {openNothing, memoryStreamClose, memoryStreamRead, memoryStreamSeek,
                                               memoryStreamTell};

void* fileStreamOpen(const char* path) {
    if (!path) return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < 0 || size > long(kMaxStreamSize) || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    return new FileStream{file, int32_t(size), 0};
}

void fileStreamClose(void* handle) {
    FileStream* s = static_cast<FileStream*>(handle);
    std::fclose(s->file);
    delete s;
}

int32_t fileStreamRead(void* buffer, int32_t count, void* handle) {
    FileStream& s = *static_cast<FileStream*>(handle);
    const int32_t n = readableBytes(s.position, s.size, count);
    if (n <= 0) return 0;
    // A file that shrank since it was opened gives fewer bytes; the position follows what came.
    const int32_t got = int32_t(std::fread(buffer, 1, size_t(n), s.file));
    s.position += got;
    return got;
}

void fileStreamSeek(void* handle, int32_t offset, SeekOrigin origin) {
    FileStream& s = *static_cast<FileStream*>(handle);
    s.position = seekTarget(s.position, s.size, offset, origin);
    std::fseek(s.file, s.position, SEEK_SET);
}

int32_t fileStreamTell(void* handle) { return static_cast<FileStream*>(handle)->position; }

const StreamCallbacks fileStreamCallbacks = {fileStreamOpen, fileStreamClose, fileStreamRead, fileStreamSeek,
                                             fileStreamTell};
