// Runs the message loop until a quit, with a guard that ends it with kGuardExitCode when
// nothing quits in time, so a test that waits for a quit can never hang.
#pragma once

#include <glib.h>

#include "platform/MessageCore.h"

constexpr int kGuardExitCode = 77;

inline int RunMessageLoopWithGuard(guint guardMs) {
  guint guard = g_timeout_add(
      guardMs,
      [](gpointer) -> gboolean {
        PostQuitMessage(kGuardExitCode);
        return G_SOURCE_REMOVE;
      },
      nullptr);
  int code = RunMessageLoop();
  if (code != kGuardExitCode) g_source_remove(guard);
  return code;
}
