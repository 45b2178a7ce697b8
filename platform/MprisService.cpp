// MPRIS over GDBus: both interfaces are exported from one introspection text; properties are
// read through the get handler and announced through PropertiesChanged.
#include "platform/MprisService.h"

#include <algorithm>

#include "app/Log.h"
#include "platform/DesktopBus.h"

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr double kMinimumRate = 0.5;
constexpr double kMaximumRate = 3.0;

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="read"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

const char* StatusText(MprisService::Status status) {
  switch (status) {
    case MprisService::Status::Playing:
      return "Playing";
    case MprisService::Status::Paused:
      return "Paused";
    case MprisService::Status::Stopped:
      break;
  }
  return "Stopped";
}

void Run(const std::function<void()>& command) {
  if (command) command();
}

}  // namespace

MprisService::MprisService(Commands commands) : m_commands(std::move(commands)) {
  if (!DesktopSessionBusReachable()) return;
  m_cancel = g_cancellable_new();
  g_bus_get(G_BUS_TYPE_SESSION, m_cancel, &MprisService::OnBus, this);
}

MprisService::~MprisService() {
  if (m_cancel) {
    // A bus answer still on its way finds the operation cancelled and leaves this alone.
    g_cancellable_cancel(m_cancel);
    g_object_unref(m_cancel);
  }
  if (m_nameId) g_bus_unown_name(m_nameId);
  if (m_bus) {
    if (m_rootId) g_dbus_connection_unregister_object(m_bus, m_rootId);
    if (m_playerId) g_dbus_connection_unregister_object(m_bus, m_playerId);
    g_object_unref(m_bus);
  }
  if (m_node) g_dbus_node_info_unref(m_node);
}

void MprisService::OnBus(GObject*, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (!bus) {
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_error_free(error);
    if (!cancelled) LogError(L"media controls: no session bus\n");
    return;
  }
  auto* service = static_cast<MprisService*>(self);
  if (g_cancellable_is_cancelled(service->m_cancel)) {
    g_object_unref(bus);
    return;
  }
  service->Register(bus);
}

void MprisService::Register(GDBusConnection* bus) {
  m_bus = bus;
  m_node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  static const GDBusInterfaceVTable vtable = {&MprisService::OnMethod, &MprisService::OnGetProperty, nullptr, {}};
  m_rootId = g_dbus_connection_register_object(bus, kPath, g_dbus_node_info_lookup_interface(m_node, kRootInterface),
                                               &vtable, this, nullptr, nullptr);
  m_playerId = g_dbus_connection_register_object(
      bus, kPath, g_dbus_node_info_lookup_interface(m_node, kPlayerInterface), &vtable, this, nullptr, nullptr);
  m_nameId = g_bus_own_name_on_connection(
      bus, kBusName, G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer self) { static_cast<MprisService*>(self)->m_owned = true; },
      [](GDBusConnection*, const gchar*, gpointer self) {
        auto* service = static_cast<MprisService*>(self);
        if (!service->m_owned) LogError(L"media controls: the bus name is taken\n");
        service->m_owned = false;
      },
      this, nullptr);
}

std::string MprisService::TrackPath() const {
  std::string path = "/org/tavo/Tavo/track/";
  if (m_track.id.empty()) return path + "none";
  for (char c : m_track.id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    path += plain ? c : '_';
  }
  return path;
}

int64_t MprisService::PositionUs() const {
  if (m_status != Status::Playing) return m_positionUs;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_reportedAt);
  int64_t now = m_positionUs + static_cast<int64_t>(static_cast<double>(elapsed.count()) * m_rate);
  if (m_track.lengthUs > 0) now = std::min(now, m_track.lengthUs);
  return now;
}

GVariant* MprisService::Metadata() const {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&builder, "{sv}", "mpris:trackid", g_variant_new_object_path(TrackPath().c_str()));
  if (!m_track.title.empty())
    g_variant_builder_add(&builder, "{sv}", "xesam:title", g_variant_new_string(m_track.title.c_str()));
  if (m_track.lengthUs > 0)
    g_variant_builder_add(&builder, "{sv}", "mpris:length", g_variant_new_int64(m_track.lengthUs));
  return g_variant_builder_end(&builder);
}

GVariant* MprisService::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* property, GError** error, gpointer self) {
  const auto* s = static_cast<MprisService*>(self);
  const std::string name = property;
  if (name == "CanQuit" || name == "HasTrackList") return g_variant_new_boolean(FALSE);
  if (name == "CanRaise") return g_variant_new_boolean(static_cast<bool>(s->m_commands.raise));
  if (name == "Identity") return g_variant_new_string("Tavo");
  if (name == "DesktopEntry") return g_variant_new_string("org.tavo.Tavo");
  if (name == "SupportedUriSchemes" || name == "SupportedMimeTypes") return g_variant_new_strv(nullptr, 0);
  if (name == "PlaybackStatus") return g_variant_new_string(StatusText(s->m_status));
  if (name == "Rate") return g_variant_new_double(s->m_rate);
  if (name == "Metadata") return s->Metadata();
  if (name == "Volume") return g_variant_new_double(1.0);
  if (name == "Position") return g_variant_new_int64(s->PositionUs());
  if (name == "MinimumRate") return g_variant_new_double(kMinimumRate);
  if (name == "MaximumRate") return g_variant_new_double(kMaximumRate);
  if (name == "CanGoNext") return g_variant_new_boolean(s->m_canNext);
  if (name == "CanGoPrevious") return g_variant_new_boolean(s->m_canPrevious);
  if (name == "CanPlay" || name == "CanPause" || name == "CanControl") return g_variant_new_boolean(TRUE);
  if (name == "CanSeek") return g_variant_new_boolean(s->m_track.lengthUs > 0);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
  return nullptr;
}

void MprisService::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
  auto* s = static_cast<MprisService*>(self);
  const std::string name = method;
  // The answer goes first: a command may close the player, and this object with it.
  if (name == "OpenUri") {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.mpris.MediaPlayer2.Error.NotSupported",
                                               "lessons are opened from the course list");
    return;
  }
  if (name == "Quit") {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.mpris.MediaPlayer2.Error.NotSupported",
                                               "the player is closed from its window");
    return;
  }
  gint64 offset = 0;
  const gchar* track = nullptr;
  if (name == "Seek") g_variant_get(parameters, "(x)", &offset);
  std::string trackPath;
  if (name == "SetPosition") {
    g_variant_get(parameters, "(&ox)", &track, &offset);
    trackPath = track;
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);

  const Commands commands = s->m_commands;  // a copy: the owner may go during a command
  if (name == "Raise") {
    Run(commands.raise);
  } else if (name == "Next") {
    Run(commands.next);
  } else if (name == "Previous") {
    Run(commands.previous);
  } else if (name == "Pause" || name == "Stop") {
    Run(commands.pause);
  } else if (name == "Play") {
    Run(commands.play);
  } else if (name == "PlayPause") {
    Run(commands.playPause);
  } else if (name == "Seek" || name == "SetPosition") {
    // A position for another track, or outside this one, is ignored as the interface asks.
    int64_t target = name == "Seek" ? std::max<int64_t>(0, s->PositionUs() + offset) : offset;
    if (name == "SetPosition" && (trackPath != s->TrackPath() || target < 0)) return;
    if (s->m_track.lengthUs > 0 && target > s->m_track.lengthUs) {
      if (name == "SetPosition") return;
      target = s->m_track.lengthUs;
    }
    if (commands.setPosition) commands.setPosition(target);
  }
}

void MprisService::Announce(std::initializer_list<const char*> properties) {
  if (!m_bus || !m_playerId) return;
  GVariantBuilder changed;
  g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
  for (const char* property : properties) {
    GVariant* value = OnGetProperty(m_bus, nullptr, kPath, kPlayerInterface, property, nullptr, this);
    if (value) g_variant_builder_add(&changed, "{sv}", property, value);
  }
  g_dbus_connection_emit_signal(m_bus, nullptr, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                g_variant_new("(sa{sv}as)", kPlayerInterface, &changed, nullptr), nullptr);
}

void MprisService::SetTrack(const Track& track) {
  m_track = track;
  Announce({"Metadata", "CanSeek"});
}

void MprisService::SetStatus(Status status, int64_t positionUs, double rate) {
  const bool changed = status != m_status || rate != m_rate;
  m_status = status;
  m_positionUs = std::max<int64_t>(0, positionUs);
  m_rate = rate > 0 ? rate : 1;
  m_reportedAt = std::chrono::steady_clock::now();
  if (changed) Announce({"PlaybackStatus", "Rate"});
}

void MprisService::Seeked(int64_t positionUs) {
  m_positionUs = std::max<int64_t>(0, positionUs);
  m_reportedAt = std::chrono::steady_clock::now();
  if (!m_bus || !m_playerId) return;
  g_dbus_connection_emit_signal(m_bus, nullptr, kPath, kPlayerInterface, "Seeked",
                                g_variant_new("(x)", static_cast<gint64>(m_positionUs)), nullptr);
}

void MprisService::SetCanGo(bool previous, bool next) {
  m_canPrevious = previous;
  m_canNext = next;
  Announce({"CanGoPrevious", "CanGoNext"});
}
