// The media controls as the desktop sees them, from a second connection on a private session
// bus: the name comes and goes with the service, methods reach the commands, properties and
// signals say what plays and where.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "StandInService.h"
#include "platform/MprisService.h"

namespace {

using bus_test::PrivateBus;
using bus_test::RunLoopUntil;

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

class MprisServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_bus.address().empty()) << "dbus-daemon did not start";
    m_desktop.reset(m_bus.Connect());
    ASSERT_TRUE(m_desktop);
  }

  MprisService::Commands Recording() {
    MprisService::Commands c;
    c.play = [this] { m_done.push_back("play"); };
    c.pause = [this] { m_done.push_back("pause"); };
    c.playPause = [this] { m_done.push_back("playPause"); };
    c.next = [this] { m_done.push_back("next"); };
    c.previous = [this] { m_done.push_back("previous"); };
    c.setPosition = [this](int64_t us) { m_done.push_back("position " + std::to_string(us)); };
    c.raise = [this] { m_done.push_back("raise"); };
    return c;
  }

  // Calls as the desktop does (asynchronously: the service answers on this same loop).
  GVariant* Call(const char* interface, const char* method, GVariant* parameters) {
    struct Answer {
      bool done = false;
      GVariant* reply = nullptr;
    } answer;
    g_dbus_connection_call(
        m_desktop.get(), MprisService::kBusName, "/org/mpris/MediaPlayer2", interface, method, parameters, nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* a = static_cast<Answer*>(data);
          a->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
          a->done = true;
        },
        &answer);
    RunLoopUntil([&] { return answer.done; }, 5000);
    return answer.reply;
  }

  GVariant* Property(const char* name) {
    GVariant* reply = Call("org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", "org.mpris.MediaPlayer2.Player", name));
    if (!reply) return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    return value;
  }

  bool NameHasOwner() {
    GVariant* reply = g_dbus_connection_call_sync(m_desktop.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", MprisService::kBusName), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
      g_variant_get(reply, "(b)", &owned);
      g_variant_unref(reply);
    }
    return owned;
  }

  PrivateBus m_bus{"DBUS_SESSION_BUS_ADDRESS"};
  std::unique_ptr<GDBusConnection, Unref> m_desktop;
  std::vector<std::string> m_done;
};

TEST_F(MprisServiceTest, TheDesktopsCommandsReachThePlayer) {
  MprisService mpris(Recording());
  ASSERT_TRUE(RunLoopUntil([&] { return mpris.IsRegistered(); }, 5000));
  mpris.SetTrack({"110101", "片段阅读：主旨概括题", 12'000'000});
  mpris.SetStatus(MprisService::Status::Paused, 4'000'000, 1.0);

  struct Case {
    const char* method;
    GVariant* parameters;
    const char* expected;  // empty: nothing reaches the player
  };
  const std::string track = mpris.TrackPath();
  const Case cases[] = {
      {"PlayPause", nullptr, "playPause"},
      {"Play", nullptr, "play"},
      {"Pause", nullptr, "pause"},
      {"Stop", nullptr, "pause"},
      {"Next", nullptr, "next"},
      {"Previous", nullptr, "previous"},
      {"Seek", g_variant_new("(x)", int64_t{5'000'000}), "position 9000000"},
      {"Seek", g_variant_new("(x)", int64_t{-10'000'000}), "position 0"},
      {"SetPosition", g_variant_new("(ox)", track.c_str(), int64_t{7'000'000}), "position 7000000"},
      {"SetPosition", g_variant_new("(ox)", "/org/tavo/Tavo/track/other", int64_t{7'000'000}), ""},
      {"SetPosition", g_variant_new("(ox)", track.c_str(), int64_t{20'000'000}), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    m_done.clear();
    GVariant* reply = Call("org.mpris.MediaPlayer2.Player", c.method, c.parameters);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
    if (*c.expected) {
      ASSERT_EQ(m_done.size(), 1u);
      EXPECT_EQ(m_done[0], c.expected);
    } else {
      EXPECT_TRUE(m_done.empty());
    }
  }
  GVariant* raised = Call("org.mpris.MediaPlayer2", "Raise", nullptr);
  ASSERT_NE(raised, nullptr);
  g_variant_unref(raised);
  EXPECT_EQ(m_done.back(), "raise");
  EXPECT_EQ(Call("org.mpris.MediaPlayer2.Player", "OpenUri", g_variant_new("(s)", "file:///x.mp4")), nullptr);
}

TEST_F(MprisServiceTest, PropertiesSayWhatPlaysAndWhere) {
  MprisService mpris(Recording());
  ASSERT_TRUE(RunLoopUntil([&] { return mpris.IsRegistered(); }, 5000));

  // PropertiesChanged tells the panel without it asking.
  std::vector<std::string> statuses;
  guint subscription = g_dbus_connection_signal_subscribe(
      m_desktop.get(), nullptr, "org.freedesktop.DBus.Properties", "PropertiesChanged", "/org/mpris/MediaPlayer2",
      nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
         gpointer data) {
        GVariant* changed = g_variant_get_child_value(parameters, 1);
        const gchar* status = nullptr;
        if (g_variant_lookup(changed, "PlaybackStatus", "&s", &status))
          static_cast<std::vector<std::string>*>(data)->push_back(status);
        g_variant_unref(changed);
      },
      &statuses, nullptr);
  int64_t seekedTo = -1;
  guint seeked = g_dbus_connection_signal_subscribe(
      m_desktop.get(), nullptr, "org.mpris.MediaPlayer2.Player", "Seeked", "/org/mpris/MediaPlayer2", nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
         gpointer data) { g_variant_get(parameters, "(x)", static_cast<int64_t*>(data)); },
      &seekedTo, nullptr);

  mpris.SetTrack({"110101", "片段阅读：主旨概括题", 12'000'000});
  mpris.SetStatus(MprisService::Status::Playing, 3'000'000, 1.5);
  GVariant* metadata = Property("Metadata");
  ASSERT_NE(metadata, nullptr);
  const gchar* title = nullptr;
  const gchar* trackId = nullptr;
  gint64 length = 0;
  EXPECT_TRUE(g_variant_lookup(metadata, "xesam:title", "&s", &title));
  EXPECT_STREQ(title, "片段阅读：主旨概括题");
  EXPECT_TRUE(g_variant_lookup(metadata, "mpris:trackid", "&o", &trackId));
  EXPECT_EQ(std::string(trackId), "/org/tavo/Tavo/track/110101");
  EXPECT_TRUE(g_variant_lookup(metadata, "mpris:length", "x", &length));
  EXPECT_EQ(length, 12'000'000);
  g_variant_unref(metadata);

  GVariant* status = Property("PlaybackStatus");
  ASSERT_NE(status, nullptr);
  EXPECT_STREQ(g_variant_get_string(status, nullptr), "Playing");
  g_variant_unref(status);
  // While playing the position moves on from the last report.
  GVariant* position = Property("Position");
  ASSERT_NE(position, nullptr);
  EXPECT_GE(g_variant_get_int64(position), 3'000'000);
  EXPECT_LT(g_variant_get_int64(position), 12'000'000);
  g_variant_unref(position);

  mpris.SetStatus(MprisService::Status::Paused, 5'000'000, 1.5);
  position = Property("Position");
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(g_variant_get_int64(position), 5'000'000);
  g_variant_unref(position);
  mpris.Seeked(8'000'000);
  EXPECT_TRUE(RunLoopUntil([&] { return seekedTo == 8'000'000; }, 5000));
  EXPECT_TRUE(RunLoopUntil([&] { return statuses.size() >= 2; }, 5000));
  EXPECT_EQ(statuses, (std::vector<std::string>{"Playing", "Paused"}));
  g_dbus_connection_signal_unsubscribe(m_desktop.get(), subscription);
  g_dbus_connection_signal_unsubscribe(m_desktop.get(), seeked);
}

TEST_F(MprisServiceTest, TheNameGoesWithTheService) {
  auto mpris = std::make_unique<MprisService>(Recording());
  ASSERT_TRUE(RunLoopUntil([&] { return mpris->IsRegistered(); }, 5000));
  EXPECT_TRUE(NameHasOwner());
  mpris.reset();
  EXPECT_TRUE(RunLoopUntil([&] { return !NameHasOwner(); }, 5000)) << "the player stayed on the media controls";
  // Gone before the bus answered: nothing is registered afterwards, nothing is called.
  auto early = std::make_unique<MprisService>(Recording());
  early.reset();
  RunLoopUntil([] { return false; }, 300);
  EXPECT_FALSE(NameHasOwner());
}

}  // namespace
