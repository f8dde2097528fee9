#include "tools/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "xmplayer.h"

namespace fs = std::filesystem;

namespace {

bool fail(const char* tool, const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", tool, path.c_str(), reason.c_str());
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

std::string temporaryOf(const std::string& path) { return path + ".partial"; }

// Flushes and closes; true when every byte reached the file.
bool finish(OutputFile& f) {
    if (!f.file) return true;
    const bool written = std::fflush(f.file) == 0 && !std::ferror(f.file);
    if (f.file != stdout) std::fclose(f.file);
    f.file = nullptr;
    return written;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    std::error_code errorA, errorB;
    const fs::path pathA = fs::weakly_canonical(fs::absolute(a, errorA), errorA);
    const fs::path pathB = fs::weakly_canonical(fs::absolute(b, errorB), errorB);
    return !errorA && !errorB && pathA == pathB;
}

bool checkOutputs(const std::vector<std::string>& inputs, const std::vector<PlannedOutput>& outputs,
                  const char* tool) {
    for (size_t i = 0; i < outputs.size(); ++i) {
        const PlannedOutput& o = outputs[i];
        std::error_code error;
        if (fs::is_directory(o.path, error)) return fail(tool, o.path, o.what + " is a directory");
        for (const std::string& written : {o.path, temporaryOf(o.path)})
            for (const std::string& input : inputs)
                if (sameFile(written, input)) return fail(tool, o.path, o.what + " would overwrite the input " + input);
        for (size_t k = 0; k < i; ++k) {
            const PlannedOutput& other = outputs[k];
            for (const std::string& mine : {o.path, temporaryOf(o.path)})
                for (const std::string& theirs : {other.path, temporaryOf(other.path)})
                    if (sameFile(mine, theirs))
                        return fail(tool, o.path, other.what + " and " + o.what + " name the same file");
        }
    }
    return true;
}

bool openOutput(OutputFile& f, const std::string& path, const char* tool) {
    f.path = path;
    f.file = std::fopen(temporaryOf(path).c_str(), "wb");
    if (!f.file) return fail(tool, path, std::strerror(errno));
    f.temporary = temporaryOf(path);  // only a file made here is ever renamed or removed
    return true;
}

void useStandardOutput(OutputFile& f) { f = OutputFile{"standard output", "", stdout}; }

bool closeOutput(OutputFile& f, bool keep, const char* tool) { return closeOutputs({&f}, keep, tool); }

bool closeOutputs(std::initializer_list<OutputFile*> files, bool keep, const char* tool) {
    const OutputFile* failed = nullptr;
    for (OutputFile* f : files)
        if (!finish(*f) && !failed) failed = f;
    std::vector<const OutputFile*> renamed;
    for (const OutputFile* f : files) {
        if (!keep || failed) break;
        if (f->temporary.empty()) continue;  // standard output, or never opened
        if (std::rename(f->temporary.c_str(), f->path.c_str()) == 0) renamed.push_back(f);
        else failed = f;
    }
    if (keep && !failed) return true;
    for (const OutputFile* f : files)
        if (!f->temporary.empty()) std::remove(f->temporary.c_str());
    for (const OutputFile* f : renamed) std::remove(f->path.c_str());
    return keep ? fail(tool, failed->path, "cannot write the file") : true;
}

std::vector<uint8_t> wavHeader(uint32_t dataBytes, uint32_t rate) {
    std::vector<uint8_t> h;
    putTag(h, "RIFF");
    put32(h, dataBytes == kStreamedWavBytes ? kStreamedWavBytes : 36 + dataBytes);
    putTag(h, "WAVEfmt ");
    put32(h, 16);           // format chunk size
    put16(h, 1);            // PCM
    put16(h, 2);            // channels
    put32(h, rate);         // frames per second
    put32(h, rate * 4);     // bytes per second
    put16(h, 4);            // bytes per frame
    put16(h, 16);           // bits per sample
    putTag(h, "data");
    put32(h, dataBytes);
    return h;
}

bool writeWavHeader(OutputFile& f, uint32_t dataBytes, const char* tool, uint32_t rate) {
    const std::vector<uint8_t> header = wavHeader(dataBytes, rate);
    if ((f.file == stdout || std::fseek(f.file, 0, SEEK_SET) == 0) &&
        std::fwrite(header.data(), 1, header.size(), f.file) == header.size())
        return true;
    return fail(tool, f.path, "cannot write the WAV header");
}
