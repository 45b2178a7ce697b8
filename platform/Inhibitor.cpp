// Inhibits over D-Bus: the services are tried in order until one grants; what it granted
// (a cookie, or for logind a file descriptor whose closing ends the lock) is given back on
// Release. Answers come on the main loop and find the state through a shared pointer, so an
// answer that arrives after the owner is gone gives back what it got at once.
#include "platform/Inhibitor.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <iterator>

#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/DesktopBus.h"

namespace {

enum class Protocol { ScreenSaver, GnomeSession, Logind };

struct Service {
  GBusType bus;
  const char* name;
  const char* path;
  const char* interface;
  Protocol protocol;
};

// GNOME's session manager takes what to inhibit as flags.
constexpr guint32 kGnomeInhibitSuspend = 4;
constexpr guint32 kGnomeInhibitIdle = 8;
constexpr int kCallTimeoutMs = 5000;

constexpr Service kIdleServices[] = {
    {G_BUS_TYPE_SESSION, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
     "org.freedesktop.ScreenSaver", Protocol::ScreenSaver},
    {G_BUS_TYPE_SESSION, "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
     Protocol::GnomeSession},
};
constexpr Service kSuspendServices[] = {
    {G_BUS_TYPE_SYSTEM, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
     Protocol::Logind},
    {G_BUS_TYPE_SESSION, "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
     Protocol::GnomeSession},
};

std::wstring KindName(InhibitKind kind) { return kind == InhibitKind::Idle ? L"idle" : L"suspend"; }

}  // namespace

struct Inhibitor::State {
  InhibitKind kind;
  std::string reason;
  bool wanted = false;
  bool asking = false;
  int holder = -1;  // index of the service that granted, -1 while none does
  GDBusConnection* bus = nullptr;
  guint32 cookie = 0;
  int fd = -1;

  const Service* Services(size_t& count) const {
    if (kind == InhibitKind::Idle) {
      count = std::size(kIdleServices);
      return kIdleServices;
    }
    count = std::size(kSuspendServices);
    return kSuspendServices;
  }

  void GiveBack() {
    if (holder < 0) return;
    size_t count = 0;
    const Service& service = Services(count)[holder];
    if (service.protocol == Protocol::Logind) {
      if (fd >= 0) close(fd);
    } else {
      const char* method = service.protocol == Protocol::ScreenSaver ? "UnInhibit" : "Uninhibit";
      // Nobody waits for the answer, but asking for one keeps the connection alive until the
      // call has gone out (this may be its last reference).
      g_dbus_connection_call(bus, service.name, service.path, service.interface, method,
                             g_variant_new("(u)", cookie), nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                             nullptr,
                             [](GObject* source, GAsyncResult* result, gpointer) {
                               GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result,
                                                                               nullptr);
                               if (reply) g_variant_unref(reply);
                             },
                             nullptr);
    }
    LogNormal(L"inhibit " + KindName(kind) + L" released\n");
    if (bus) g_object_unref(bus);
    bus = nullptr;
    fd = -1;
    cookie = 0;
    holder = -1;
  }
};

namespace {

struct Call {
  std::shared_ptr<Inhibitor::State> state;
  size_t service;
};

void Ask(std::shared_ptr<Inhibitor::State> state, size_t index);

void Granted(const std::shared_ptr<Inhibitor::State>& state, size_t index, GDBusConnection* bus, guint32 cookie,
             int fd) {
  state->asking = false;
  state->holder = static_cast<int>(index);
  state->bus = G_DBUS_CONNECTION(g_object_ref(bus));
  state->cookie = cookie;
  state->fd = fd;
  size_t count = 0;
  LogNormal(L"inhibit " + KindName(state->kind) + L" held by " +
            Utf8ToWide(state->Services(count)[index].name) + L"\n");
  // Released (or the owner gone) while the answer was on its way.
  if (!state->wanted) state->GiveBack();
}

void OnAnswer(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Call> call(static_cast<Call*>(data));
  GDBusConnection* bus = G_DBUS_CONNECTION(source);
  size_t count = 0;
  const Service& service = call->state->Services(count)[call->service];
  GError* error = nullptr;
  GUnixFDList* fds = nullptr;
  GVariant* reply = service.protocol == Protocol::Logind
                        ? g_dbus_connection_call_with_unix_fd_list_finish(bus, &fds, result, &error)
                        : g_dbus_connection_call_finish(bus, result, &error);
  if (!reply) {
    LogNormal(L"inhibit " + KindName(call->state->kind) + L": " + Utf8ToWide(service.name) + L" refused: " +
              Utf8ToWide(error ? error->message : "") + L"\n");
    if (error) g_error_free(error);
    Ask(call->state, call->service + 1);
    return;
  }
  guint32 cookie = 0;
  int fd = -1;
  if (service.protocol == Protocol::Logind) {
    gint32 handle = -1;
    g_variant_get(reply, "(h)", &handle);
    if (fds && handle >= 0) fd = g_unix_fd_list_get(fds, handle, nullptr);
  } else {
    g_variant_get(reply, "(u)", &cookie);
  }
  g_variant_unref(reply);
  if (fds) g_object_unref(fds);
  if (service.protocol == Protocol::Logind && fd < 0) {
    Ask(call->state, call->service + 1);
    return;
  }
  Granted(call->state, call->service, bus, cookie, fd);
}

void OnBus(GObject*, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Call> call(static_cast<Call*>(data));
  GDBusConnection* bus = g_bus_get_finish(result, nullptr);
  if (!bus) {
    Ask(call->state, call->service + 1);
    return;
  }
  Inhibitor::State& state = *call->state;
  if (!state.wanted) {  // released before the bus answered: nothing to ask
    state.asking = false;
    g_object_unref(bus);
    return;
  }
  size_t count = 0;
  const Service& service = state.Services(count)[call->service];
  switch (service.protocol) {
    case Protocol::ScreenSaver:
      g_dbus_connection_call(bus, service.name, service.path, service.interface, "Inhibit",
                             g_variant_new("(ss)", "Tavo", state.reason.c_str()), G_VARIANT_TYPE("(u)"),
                             G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &OnAnswer, call.release());
      break;
    case Protocol::GnomeSession:
      g_dbus_connection_call(
          bus, service.name, service.path, service.interface, "Inhibit",
          g_variant_new("(susu)", "Tavo", 0u, state.reason.c_str(),
                        state.kind == InhibitKind::Idle ? kGnomeInhibitIdle : kGnomeInhibitSuspend),
          G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &OnAnswer,
          call.release());
      break;
    case Protocol::Logind:
      g_dbus_connection_call_with_unix_fd_list(
          bus, service.name, service.path, service.interface, "Inhibit",
          g_variant_new("(ssss)", "sleep", "Tavo", state.reason.c_str(), "block"), G_VARIANT_TYPE("(h)"),
          G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr, &OnAnswer, call.release());
      break;
  }
  g_object_unref(bus);
}

void Ask(std::shared_ptr<Inhibitor::State> state, size_t index) {
  size_t count = 0;
  const Service* services = state->Services(count);
  while (index < count && services[index].bus == G_BUS_TYPE_SESSION && !DesktopSessionBusReachable()) ++index;
  if (index >= count || !state->wanted) {
    // A desktop without a screen saver or session manager is not a fault: nothing to keep awake.
    if (index >= count) LogNormal(L"inhibit " + KindName(state->kind) + L": no service grants it\n");
    state->asking = false;
    return;
  }
  auto call = std::make_unique<Call>(Call{std::move(state), index});
  g_bus_get(services[index].bus, nullptr, &OnBus, call.release());
}

}  // namespace

Inhibitor::Inhibitor(InhibitKind kind, std::string reason)
    : m_state(std::make_shared<State>(State{kind, std::move(reason)})) {}

Inhibitor::~Inhibitor() { Release(); }

void Inhibitor::Hold() {
  m_state->wanted = true;
  if (m_state->holder >= 0 || m_state->asking) return;
  m_state->asking = true;
  Ask(m_state, 0);
}

void Inhibitor::Release() {
  m_state->wanted = false;
  m_state->GiveBack();
}

bool Inhibitor::IsWanted() const { return m_state->wanted; }

bool Inhibitor::IsHeld() const { return m_state->holder >= 0; }
