// A private desktop for the external-player tests: the XDG folders of this process point
// into a temporary root (fixed before GLib caches them) where one stand-in application is
// the default for "video/webm". It records its arguments in a file, then runs until the
// test lets it end, so a test can see it start, run and end. Only the shared MIME
// database of the system is visible, no system application.
#pragma once

#include <filesystem>
#include <string>

class StandInPlayer {
 public:
  // Sets the folders up once per process; later calls return the same desktop.
  static StandInPlayer& Get();

  std::filesystem::path RecordFile() const { return m_root / "player-args.txt"; }
  std::filesystem::path ReleaseFile() const { return m_root / "player-release"; }
  // Clears the record and the release mark for the next start.
  void Reset();
  // Lets the running stand-in end.
  void Release();
  std::string Recorded() const;

 private:
  StandInPlayer();
  std::filesystem::path m_root;
};
