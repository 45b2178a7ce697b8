// The fixture of the end-to-end tests that drive the program against the demo school:
// skipped where the X tools are missing, else a started session.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "E2eSession.h"

namespace e2e {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system(
            "command -v xdotool >/dev/null && command -v import >/dev/null && command -v Xvfb >/dev/null && "
            "command -v curl >/dev/null && command -v xwininfo >/dev/null && command -v xmessage >/dev/null") != 0)
      GTEST_SKIP() << "xdotool, ImageMagick, curl, x11-utils or Xvfb missing";
    ASSERT_TRUE(m_session.Start()) << m_session.error();
  }

  E2eSession m_session;
};

}  // namespace e2e
