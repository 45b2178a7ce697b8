// Desktop notifications through the session bus's org.freedesktop.Notifications service
// (what libnotify and GNotification speak on Linux desktops), sent without waiting: with
// no bus or no notification daemon nothing is shown and nothing waits. A click on a
// notification runs its callback on the main thread.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class DesktopNotifier {
 public:
  static DesktopNotifier& Get();
  // One notification: `title` the summary line, `body` the text under it.
  void Show(const std::string& title, const std::string& body, std::function<void()> onClick);
  // Forgets the bus and every pending click (shutdown, tests).
  void Reset();

 private:
  struct Pending {
    std::string title;
    std::string body;
    std::function<void()> onClick;
  };
  DesktopNotifier() = default;
  void Send(Pending pending);
  static void OnBus(GObject*, GAsyncResult* result, gpointer);
  static void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
                       GVariant* parameters, gpointer);

  enum class BusState { Unknown, Connecting, Ready, Missing };
  BusState m_state = BusState::Unknown;
  GDBusConnection* m_bus = nullptr;
  guint m_subscription = 0;
  uint64_t m_generation = 0;  // a bus answer from before a Reset is dropped
  std::vector<Pending> m_waiting;
  std::map<guint32, std::function<void()>> m_clicks;
};
