#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "params/midi_assign.h"

namespace {

struct AssignTable : ::testing::Test {
    void SetUp() override { CMIDIAssign::setDefaults(); }
    void TearDown() override { CMIDIAssign::setDefaults(); }
};

TEST_F(AssignTable, DefaultsAssignTheVoiceControllers) {
    EXPECT_EQ(CMIDIAssign::groupOf(11), 0);
    EXPECT_EQ(CMIDIAssign::entryOf(11), 1);
    EXPECT_EQ(CMIDIAssign::entryOf(52), 33);
    EXPECT_EQ(CMIDIAssign::groupOf(19), 0);
    EXPECT_EQ(CMIDIAssign::entryOf(19), 0);
    EXPECT_EQ(CMIDIAssign::groupOf(7), -1);
    EXPECT_EQ(CMIDIAssign::find(0, 1), 11);
}

TEST_F(AssignTable, AssignForgetFindAndRefusal) {
    EXPECT_FALSE(CMIDIAssign::assign(0, 12, 200));
    EXPECT_FALSE(CMIDIAssign::assign(0, 12, 128));
    EXPECT_EQ(CMIDIAssign::find(0, 12), -1);
    EXPECT_TRUE(CMIDIAssign::assign(0, 12, 7));
    EXPECT_TRUE(CMIDIAssign::assign(0, 12, 9));  // moves: the address keeps one controller
    EXPECT_EQ(CMIDIAssign::find(0, 12), 9);
    EXPECT_EQ(CMIDIAssign::groupOf(7), -1);
    EXPECT_TRUE(CMIDIAssign::assign(0, 12, -1));
    EXPECT_EQ(CMIDIAssign::find(0, 12), -1);
}

TEST_F(AssignTable, LearningTwiceKeepsBothAndOtherGroupsMoveNothing) {
    CMIDIAssign a;
    a.learn(0, 12);
    EXPECT_EQ(a.apply(0, 7, 10, nullptr), 12);
    a.learn(0, 12);
    EXPECT_EQ(a.apply(0, 8, 10, nullptr), 12);
    EXPECT_EQ(CMIDIAssign::groupOf(7), 0);
    EXPECT_EQ(CMIDIAssign::find(0, 12), 7);
    a.learn(1, 2);  // a mixer entry
    EXPECT_EQ(a.apply(0, 9, 100, nullptr), -1);
    EXPECT_EQ(CMIDIAssign::groupOf(9), 1);
    EXPECT_EQ(a.apply(0, 3, 100, nullptr), -1) << "unassigned";
}

TEST_F(AssignTable, FileRoundTripDropsBadEntriesAndShortFilesKeepTheRest) {
    uint8_t bytes[CMIDIAssign::kFileSize];
    CMIDIAssign::assign(0, 300, 40);
    CMIDIAssign::writeBytes(bytes);
    // Damage: controller 41 to entry 600, controller 42 to entry -3.
    bytes[256 + 82] = 600 & 0xFF, bytes[256 + 83] = 600 >> 8, bytes[82] = 0, bytes[83] = 0;
    bytes[256 + 84] = 0xFD, bytes[256 + 85] = 0xFF, bytes[84] = 0, bytes[85] = 0;
    CMIDIAssign::setDefaults();
    CMIDIAssign::readBytes(bytes, CMIDIAssign::kFileSize);
    EXPECT_EQ(CMIDIAssign::find(0, 300), 40);
    EXPECT_EQ(CMIDIAssign::groupOf(41), -1);
    EXPECT_EQ(CMIDIAssign::groupOf(42), -1);
    EXPECT_EQ(CMIDIAssign::entryOf(11), 1);

    // A file of 4 bytes sets the groups of controllers 0 and 1 only.
    uint8_t shortFile[4] = {0, 0, 0xFF, 0xFF};
    CMIDIAssign::readBytes(shortFile, 4);
    EXPECT_EQ(CMIDIAssign::groupOf(0), 0);
    EXPECT_EQ(CMIDIAssign::groupOf(11), 0);
    EXPECT_EQ(CMIDIAssign::entryOf(11), 1);

    std::string path = testing::TempDir() + "qsmidi_test.qsm";
    CMIDIAssign::setDefaults();
    CMIDIAssign::assign(0, 77, 3);
    ASSERT_TRUE(CMIDIAssign::save(path.c_str()));
    CMIDIAssign::setDefaults();
    EXPECT_TRUE(CMIDIAssign::load(path.c_str()));
    EXPECT_EQ(CMIDIAssign::find(0, 77), 3);
    EXPECT_FALSE(CMIDIAssign::load((path + ".missing").c_str()));
    std::remove(path.c_str());
}

}  // namespace
