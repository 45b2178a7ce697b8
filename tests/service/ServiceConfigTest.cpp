// Where the service is: environment first, the command line over it.
#include <gtest/gtest.h>
#include <stdlib.h>

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
