// Tasks on the main loop, through GLib idle sources of default priority.
#include "browser/LoopTask.h"

#include <glib.h>

#include <memory>

void PostLoopTask(std::function<void()> task) {
  auto* heap = new std::function<void()>(std::move(task));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      heap, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}
