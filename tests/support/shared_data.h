#pragma once
// Test data that lives beside the project's checkout rather than in it (../shared/xm-corpus,
// ../shared/ft2-tests: modules by other people, not part of the product), found relative to this
// source tree. Where it is missing a test skips with a message that says so; under CI=true it
// fails instead, because CI has the folder and a skip would count as a pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

inline std::filesystem::path sharedDataDir(const std::string& name) {
    return std::filesystem::path(SKR_SOURCE_DIR).parent_path() / "shared" / name;
}

// The files in `folder` whose extension is one of `extensions` (".xm", ".mod", …; any case), by
// name, so that every machine meets them in the same order. Empty when the folder is not there.
inline std::vector<std::filesystem::path> modulesIn(const std::filesystem::path& folder,
                                                    std::initializer_list<std::string_view> extensions = {".xm"}) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (entry.is_regular_file() && std::find(extensions.begin(), extensions.end(), extension) != extensions.end())
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

inline bool runningInCi() {
    const char* ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

// In a test body: skips (or, under CI=true, fails) the test when `folder` is not a directory.
#define REQUIRE_SHARED_DATA(folder)                                                                     \
    do {                                                                                                \
        std::error_code sharedDataError_;                                                               \
        if (!std::filesystem::is_directory((folder), sharedDataError_)) {                               \
            if (runningInCi()) FAIL() << (folder) << " is missing, and CI must run this test";          \
            GTEST_SKIP() << (folder) << " is not there (it lives beside the checkout): test skipped";  \
        }                                                                                               \
    } while (0)
