#include "tools/output_file.h"

#include <cerrno>
#include <cstring>

#include "player/output.h"

namespace {

bool fail(const char* tool, const std::string& path, const char* reason) {
    std::fprintf(stderr, "%s: %s: %s\n", tool, path.c_str(), reason);
    return false;
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void putTag(std::vector<uint8_t>& b, const char* tag) {
    for (const char* c = tag; *c; ++c) b.push_back(uint8_t(*c));
}

}  // namespace

bool openOutput(OutputFile& f, const std::string& path, const char* tool) {
    f.path = path;
    f.temporary = path + ".partial";
    f.file = std::fopen(f.temporary.c_str(), "wb");
    return f.file ? true : fail(tool, path, std::strerror(errno));
}

bool closeOutput(OutputFile& f, bool keep, const char* tool) {
    if (!f.file) return true;
    const bool written = std::fflush(f.file) == 0 && !std::ferror(f.file);
    std::fclose(f.file);
    f.file = nullptr;
    if (keep && written && std::rename(f.temporary.c_str(), f.path.c_str()) == 0) return true;
    std::remove(f.temporary.c_str());
    return keep ? fail(tool, f.path, "cannot write the file") : true;
}

std::vector<uint8_t> wavHeader(uint32_t dataBytes) {
    std::vector<uint8_t> h;
    putTag(h, "RIFF");
    put32(h, 36 + dataBytes);
    putTag(h, "WAVEfmt ");
    put32(h, 16);           // format chunk size
    put16(h, 1);            // PCM
    put16(h, 2);            // channels
    put32(h, kMixRate);     // frames per second
    put32(h, kMixRate * 4); // bytes per second
    put16(h, 4);            // bytes per frame
    put16(h, 16);           // bits per sample
    putTag(h, "data");
    put32(h, dataBytes);
    return h;
}

bool writeWavHeader(OutputFile& f, uint32_t dataBytes, const char* tool) {
    const std::vector<uint8_t> header = wavHeader(dataBytes);
    if (std::fseek(f.file, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), f.file) == header.size())
        return true;
    return fail(tool, f.path, "cannot write the WAV header");
}
