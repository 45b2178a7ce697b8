// Shared main of the test executables: tells each test where the sources and the build are
// (TAVO_TEST_SOURCE_DIR, TAVO_TEST_BINARY_DIR), unless the environment already says so.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("TAVO_TEST_SOURCE_DIR", TAVO_TEST_SOURCE_DIR, 0);
  setenv("TAVO_TEST_BINARY_DIR", TAVO_TEST_BINARY_DIR, 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
