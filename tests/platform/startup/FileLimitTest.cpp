// The open-file limit the program starts with: the soft limit is raised to the hard one, so
// that the usual desktop default of 1,024 does not bound downloads and local connections.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "app/main/FileLimit.h"

namespace {

TEST(FileLimit, SoftLimitIsRaisedToTheHardLimit) {
  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
  if (original.rlim_max < 64) GTEST_SKIP() << "hard limit too low to lower the soft one";
  for (rlim_t soft : {rlim_t{32}, original.rlim_max / 2, original.rlim_max}) {
    SCOPED_TRACE(soft);
    rlimit lowered = original;
    lowered.rlim_cur = soft;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(RaiseOpenFileLimit(), original.rlim_max);
    rlimit now{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(now.rlim_cur, original.rlim_max);
    EXPECT_EQ(now.rlim_max, original.rlim_max);
  }
  ::setrlimit(RLIMIT_NOFILE, &original);
}

}  // namespace
