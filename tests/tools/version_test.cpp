#include <gtest/gtest.h>

#include <string>

#include "run_tool.h"
#include "version.h"

namespace {

TEST(Programs, PrintTheirVersion) {
    const std::pair<std::string, std::string> programs[] = {
        {DEMO_PATH, "skr4mm3lb0d"}, {XMRENDER_PATH, "xmrender"}, {DEMO_CAPTURE_PATH, "demo-capture"},
        {XMPLAY_PATH, "xmplay"}};
    for (const auto& [path, name] : programs) {
        const ToolRun r = runTool(path + " --version");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, name + " " + SKR_VERSION + "\n");
    }
}

}  // namespace
