#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

// Each end routine joins a worker that asks the GUI thread for work only then:
// the worker must get its answer at once, not wait on a thread that is ending.
TEST(EndProgram, RunsTheEndRoutinesOnTheGuiThreadAndExitsWithTheCode) {
    struct Case {
        const char* from;
        int exitCode;
    };
    for (const Case& c : {Case{"gui", 5}, Case{"worker", 7}, Case{"loop", 9}}) {
        testing::TempDir dir;
        const auto marker = dir / "marker";
        testing::Subprocess probe(
            {(testing::binaryDir() / "tests/gui/platform/platform_end_probe").string(), c.from,
             marker.string()});
        EXPECT_EQ(probe.wait(20000ms), c.exitCode) << c.from;
        std::ifstream in(marker);
        std::string where;
        in >> where;
        EXPECT_EQ(where, "gui") << c.from;
    }
}

}  // namespace
}  // namespace lumivox
