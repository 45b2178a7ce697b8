// StartProcess on GLib's spawn.
#include "app/Process.h"

#include <glib.h>

#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"

bool StartProcess(const std::wstring& program, const std::wstring& argument) {
  std::string file = WideToAnsi(program);
  std::string arg = WideToAnsi(argument);
  if (file.empty() || (arg.empty() && !argument.empty())) {
    LogError(L"StartProcess: program or argument cannot be converted");
    return false;
  }
  // An argument vector needs no quoting: the argument reaches the program as one piece.
  char* argv[] = {file.data(), arg.data(), nullptr};
  GError* raw = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                    nullptr, &status, &raw)) {
    std::unique_ptr<GError, decltype(&g_error_free)> error(raw, g_error_free);
    LogError(L"StartProcess(" + program + L") failed: " +
             Utf8ToWide(error ? error->message : ""));
    return false;
  }
  return true;
}
