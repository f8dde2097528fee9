#pragma once
// Test data that lives beside the project's checkout rather than in it (../shared/xm-corpus,
// ../shared/ft2-tests: modules by other people, not part of the product), found relative to this
// source tree. Where it is missing a test skips with a message that says so; under CI=true it
// fails instead, because CI has the folder and a skip would count as a pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

inline std::filesystem::path sharedDataDir(const std::string& name) {
    return std::filesystem::path(SKR_SOURCE_DIR).parent_path() / "shared" / name;
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
