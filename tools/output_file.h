#pragma once
// Output files of the command-line tools: written under a temporary name and renamed into place
// only when complete, so a failed run leaves nothing behind; and the WAV header they share.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct OutputFile {
    std::string path;       // where the file goes
    std::string temporary;  // path + ".partial" while it is written
    FILE*       file = nullptr;
};

// Opens `path`.partial for writing. False after printing "TOOL: PATH: reason" on stderr.
bool openOutput(OutputFile& f, const std::string& path, const char* tool);

// Closes the file and, with `keep`, renames it into place; without, removes it. False when
// `keep` was asked but the file could not be completed (after a message on stderr).
bool closeOutput(OutputFile& f, bool keep, const char* tool);

// The 44-byte header of a 16-bit stereo 44100 Hz PCM WAV file with `dataBytes` of samples.
std::vector<uint8_t> wavHeader(uint32_t dataBytes);

// Writes the header at the start of the file (a placeholder first, the real sizes at the end).
bool writeWavHeader(OutputFile& f, uint32_t dataBytes, const char* tool);
