#pragma once
// A fresh temporary folder for a test's files, removed with everything in it at the end.
#include <unistd.h>

#include <filesystem>
#include <string>

struct TempDir {
    std::filesystem::path dir;
    explicit TempDir(const std::string& name)
        : dir(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir);
    }
    ~TempDir() { std::filesystem::remove_all(dir); }
    std::filesystem::path operator/(const std::string& file) const { return dir / file; }
};
