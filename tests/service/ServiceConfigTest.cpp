// Where the service is: environment first, the command line over it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>

#include "service/ServiceConfig.h"

namespace {

TEST(ServiceConfigTest, CommandLineSwitchesAndTrailingSlashes) {
  EXPECT_TRUE(ApplyServiceOption("--api-origin=https://api.example:8443/"));
  EXPECT_TRUE(ApplyServiceOption("--site-origin=http://127.0.0.1:9000"));
  EXPECT_TRUE(ApplyServiceOption("--ca-file=/tmp/ca.pem"));
  EXPECT_FALSE(ApplyServiceOption("--api-origin"));
  EXPECT_FALSE(ApplyServiceOption("--type=renderer"));
  EXPECT_EQ(GetApiOrigin(), "https://api.example:8443");
  EXPECT_EQ(GetSiteOrigin(), "http://127.0.0.1:9000");
  EXPECT_EQ(GetExtraCaFile(), "/tmp/ca.pem");
  // A value set once is not replaced by the environment later.
  setenv("TAVO_API_ORIGIN", "https://other.example", 1);
  EXPECT_EQ(GetApiOrigin(), "https://api.example:8443");
  unsetenv("TAVO_API_ORIGIN");
}

}  // namespace

namespace {

// Run in a fresh process (the values are read once per process).
TEST(ServiceConfigTest, EnvironmentGivesTheDefaultsOfTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("TAVO_API_ORIGIN", "http://127.0.0.1:8600/", 1);
  setenv("TAVO_SITE_ORIGIN", "https://site.example", 1);
  setenv("TAVO_CA_FILE", "/etc/tavo/ca.pem", 1);
  EXPECT_EXIT(
      {
        const bool ok = GetApiOrigin() == "http://127.0.0.1:8600" &&
                        GetSiteOrigin() == "https://site.example" && GetExtraCaFile() == "/etc/tavo/ca.pem";
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  unsetenv("TAVO_API_ORIGIN");
  unsetenv("TAVO_SITE_ORIGIN");
  unsetenv("TAVO_CA_FILE");
  EXPECT_EXIT(
      {
        const bool ok = GetApiOrigin() == "https://api.tavo-school.com" && GetExtraCaFile().empty();
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
