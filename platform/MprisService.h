// A player on the desktop's media controls (media keys, the media panel): the MPRIS
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player at
// /org/mpris/MediaPlayer2 on the session bus, under the name org.mpris.MediaPlayer2.tavo.
// What the desktop asks goes to the commands; what the owner reports (the track, playing or
// not, where) is answered as properties and announced with PropertiesChanged and Seeked.
// The bus is reached asynchronously; without one nothing is registered. Main thread only;
// the name and the objects go with the object.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class MprisService {
 public:
  enum class Status { Playing, Paused, Stopped };
  struct Commands {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> playPause;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(int64_t positionUs)> setPosition;  // clamped to the track
    std::function<void()> raise;
  };
  struct Track {
    std::string id;  // any text; it becomes part of the track's object path
    std::string title;
    int64_t lengthUs = 0;
  };

  explicit MprisService(Commands commands);
  ~MprisService();
  MprisService(const MprisService&) = delete;
  MprisService& operator=(const MprisService&) = delete;

  static constexpr const char* kBusName = "org.mpris.MediaPlayer2.tavo";

  void SetTrack(const Track& track);
  // The playback as the player reports it; `positionUs` is where it is now.
  void SetStatus(Status status, int64_t positionUs, double rate);
  // The position jumped (a seek): announced with the Seeked signal.
  void Seeked(int64_t positionUs);
  void SetCanGo(bool previous, bool next);

  // Whether the name is owned on the bus.
  bool IsRegistered() const { return m_owned; }
  // Where playback is by now (moving on from the last report while playing).
  int64_t PositionUs() const;
  // The track's object path ("/org/tavo/Tavo/track/<id>", other characters as "_").
  std::string TrackPath() const;

 private:
  static void OnBus(GObject*, GAsyncResult* result, gpointer self);
  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                                 const gchar* property, GError** error, gpointer self);
  void Register(GDBusConnection* bus);
  GVariant* Metadata() const;
  void Announce(std::initializer_list<const char*> properties);

  Commands m_commands;
  Track m_track;
  Status m_status = Status::Stopped;
  int64_t m_positionUs = 0;
  double m_rate = 1;
  std::chrono::steady_clock::time_point m_reportedAt = std::chrono::steady_clock::now();
  bool m_canPrevious = true;
  bool m_canNext = true;

  GCancellable* m_cancel = nullptr;
  GDBusConnection* m_bus = nullptr;
  GDBusNodeInfo* m_node = nullptr;
  guint m_rootId = 0;
  guint m_playerId = 0;
  guint m_nameId = 0;
  bool m_owned = false;
};
