// Test entry: points the instrument at the tests' installation folder (the
// build's plug-in and data without the default project) and keeps settings
// inside the build, unless the caller set them already. LYRENA_INSTALL is the
// build's real installation folder.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("LYRENA_HOME", LYRENA_TEST_HOME "/", 0);
    setenv("LYRENA_INSTALL", LYRENA_TEST_INSTALL_DIR "/", 0);
    setenv("XDG_CONFIG_HOME", LYRENA_TEST_BUILD_DIR "/test-config", 0);
    setenv("LYRENA_PLUGIN", LYRENA_TEST_INSTALL_DIR "/lyrena.so", 0);
    setenv("LYRENA_CLI", LYRENA_TEST_BUILD_DIR "/lyrena", 0);
    setenv("LYRENA_SOURCE", LYRENA_TEST_SOURCE_DIR, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
