#pragma once
// Output files of the command-line tools: checked before any work starts, written under a
// temporary name and renamed into place only when complete, so a failed run leaves nothing
// behind; and the WAV header they share.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

struct OutputFile {
    std::string path;       // where the file goes, as messages name it
    std::string temporary;  // path + ".partial" once opened; empty for standard output
    FILE*       file = nullptr;
};

// True when `a` and `b` name one file: the same file where both exist (device and inode, so a
// hard or symbolic link counts), otherwise the same absolute path once ".", ".." and links in it
// are resolved (so "out.wav" and "./out.wav" are one output).
bool sameFile(const std::string& a, const std::string& b);

// An output a tool is about to write and how its messages name it ("the WAV", "--trace").
struct PlannedOutput {
    std::string path;
    std::string what;
};

// Before anything is written: refuses an output that is one of `inputs` or a directory, or that
// names the same file as another output (their temporary names included). False after printing
// "TOOL: PATH: reason" on stderr.
bool checkOutputs(const std::vector<std::string>& inputs, const std::vector<PlannedOutput>& outputs,
                  const char* tool);

// Opens `path`.partial for writing. False after printing "TOOL: PATH: reason" on stderr.
bool openOutput(OutputFile& f, const std::string& path, const char* tool);

// Makes `f` standard output, written as it goes: there is nothing to rename or remove.
void useStandardOutput(OutputFile& f);

// Closes the file and, with `keep`, renames it into place; without, removes it. False when
// `keep` was asked but the file could not be completed (after a message on stderr).
bool closeOutput(OutputFile& f, bool keep, const char* tool);

// All or nothing: closes every file and renames them all into place only when `keep` is asked
// and every one was written completely; otherwise removes them all. False when `keep` was asked
// and the files could not all be kept (after a message on stderr).
bool closeOutputs(std::initializer_list<OutputFile*> files, bool keep, const char* tool);

// The data size a streamed WAV declares: its length is not known when its header is written.
constexpr uint32_t kStreamedWavBytes = 0xFFFFFFFF;

// The 44-byte header of a 16-bit stereo PCM WAV file of `rate` frames per second with
// `dataBytes` of samples; with kStreamedWavBytes both sizes read 0xFFFFFFFF, as streaming tools
// write them.
std::vector<uint8_t> wavHeader(uint32_t dataBytes, uint32_t rate = 44100);

// Writes the header at the start of the file (a placeholder first, the real sizes at the end).
bool writeWavHeader(OutputFile& f, uint32_t dataBytes, const char* tool, uint32_t rate = 44100);
