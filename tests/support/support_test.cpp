// Program-folder paths, the debug log and the clock.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "files/global_data.h"
#include "support/clock.h"
#include "support/debug.h"
#include "support/o_system.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Support, PathsAndTheDebugLogLiveInTheInstallationFolder) {
    std::string folder = globalData().installFolder;
    ASSERT_EQ(folder.back(), '/');
    COSystem os;
    EXPECT_EQ(std::string(os.path("Debug.txt")), folder + "Debug.txt");
    EXPECT_EQ(std::string(os.path("Data/Factory.phd")), folder + "Data/Factory.phd");

    std::string log = folder + "Debug.txt";
    std::string before = readFile(log);
    CDebug::line("first line");
    CDebug::format("second %d", 2);
    EXPECT_EQ(readFile(log), before + "first line\nsecond 2\n") << "appended, one line each";
}

TEST(Support, AMissingDocumentIsReported) {
    COSystem os;
    std::string log = std::string(globalData().installFolder) + "Debug.txt";
    std::string before = readFile(log);
    EXPECT_FALSE(os.openDocument("/nonexistent/Manual.pdf"));
    EXPECT_EQ(readFile(log), before + "Document >/nonexistent/Manual.pdf< not found\n");
}

TEST(Support, ClockMeasuresIntervals) {
    CClock clock;
    clock.start();
    usleep(20000);
    clock.stop();
    EXPECT_GE(clock.lastInterval(), 0.015);
    EXPECT_LT(clock.lastInterval(), 1.0);
    EXPECT_GE(clock.elapsed(), clock.lastInterval());
}
