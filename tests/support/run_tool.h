#pragma once
// Runs a command line through the shell and keeps what it said: exit status, standard output
// and standard error.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "temp_dir.h"

struct ToolRun {
    int         status;  // the exit status; 128 + N after signal N, as the shell reports it
    std::string out;     // standard output, bytes as written
    std::string err;     // standard error
};

inline std::string readText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline ToolRun runTool(const std::string& command) {
    const TempDir said("tool_output");
    const std::string full = command + " >" + (said / "out").string() + " 2>" + (said / "err").string() + " </dev/null";
    const int status = std::system(full.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(said / "out"), readText(said / "err")};
}
