// The stand-in desktop application.
#include "StandInPlayer.h"

#include <glib.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

StandInPlayer& StandInPlayer::Get() {
  static StandInPlayer desktop;
  return desktop;
}

StandInPlayer::StandInPlayer() {
  char pattern[] = "/tmp/tavo-standin-XXXXXX";
  m_root = mkdtemp(pattern);
  namespace fs = std::filesystem;
  fs::create_directories(m_root / "data/applications");
  fs::create_directories(m_root / "config");
  fs::create_directories(m_root / "sysdata");
  fs::create_directory_symlink("/usr/share/mime", m_root / "sysdata/mime");

  const fs::path script = m_root / "stand-in-player.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$@\" > '" << RecordFile().string() << ".part'\n"
                        << "mv '" << RecordFile().string() << ".part' '" << RecordFile().string() << "'\n"
                        << "i=0\n"
                        << "while [ ! -e '" << ReleaseFile().string() << "' ] && [ $i -lt 600 ]; do\n"
                        << "  sleep 0.05; i=$((i+1))\n"
                        << "done\n";
  chmod(script.c_str(), 0755);
  std::ofstream(m_root / "data/applications/tavo-stand-in-player.desktop")
      << "[Desktop Entry]\nType=Application\nName=Stand-in player\nExec=" << script.string()
      << " %f\nMimeType=video/webm;\nTerminal=false\n";
  std::ofstream(m_root / "config/mimeapps.list")
      << "[Default Applications]\nvideo/webm=tavo-stand-in-player.desktop\n";

  setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
  setenv("XDG_DATA_DIRS", (m_root / "sysdata").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (m_root / "sysconfig").c_str(), 1);
  // GLib reads these once and keeps them: read them now, before a test moves the variables.
  g_get_user_data_dir();
  g_get_user_config_dir();
  g_get_system_data_dirs();
  g_get_system_config_dirs();
}

void StandInPlayer::Reset() {
  std::error_code ignored;
  std::filesystem::remove(RecordFile(), ignored);
  std::filesystem::remove(ReleaseFile(), ignored);
}

void StandInPlayer::Release() { std::ofstream(ReleaseFile()) << "go\n"; }

std::string StandInPlayer::Recorded() const {
  std::ifstream in(RecordFile());
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
