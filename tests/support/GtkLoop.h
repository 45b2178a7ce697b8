// Running GTK and the message core from a test: both are sources of the default main
// context, so one pump serves windows, timers and posted messages alike.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

#include "platform/MessageCore.h"
#include "support/Waiting.h"

// Handles every pending GTK event and posted message once.
inline void PumpGtkAndMessages() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  PumpPendingMessages();
}

// Pumps until `done` holds or `ms` milliseconds have passed; whether it held.
inline bool RunGtkUntil(const std::function<bool()>& done, int ms) {
  return WaitUntil(
      [&] {
        if (done()) return true;
        PumpGtkAndMessages();
        return false;
      },
      std::chrono::milliseconds(ms));
}
