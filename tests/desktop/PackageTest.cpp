// The Debian package: built from the build folder, checked by the desktop's and Debian's
// validators, unpacked into a scratch root and started from there up to the login window.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include "ProgramRun.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using desktop_test::ProgramRun;
using desktop_test::ScratchFolder;
using desktop_test::Shell;

TEST(PackageTest, BuildsValidatesInstallsAndStartsFromAScratchRoot) {
  ScratchFolder scratch;
  const fs::path build = desktop_test::BuildFolder();
  const fs::path out = scratch.path() / "package";
  int status = -1;
  std::string log = Shell(
      "cpack -G DEB --config '" + (build / "CPackConfig.cmake").string() + "' -B '" + out.string() + "' 2>&1",
      &status);
  ASSERT_EQ(status, 0) << log;
  std::string deb = Shell("ls " + out.string() + "/tavo_*.deb");
  ASSERT_FALSE(deb.empty()) << log;
  deb.erase(deb.find('\n'));

  // Dependencies: the linked libraries and the run-time packages no binary links.
  std::string depends = Shell("dpkg-deb -f '" + deb + "' Depends");
  for (const char* package : {"libwebkit2gtk-4.1-0", "libgtk-3-0", "gstreamer1.0-libav",
                              "gstreamer1.0-plugins-good", "fonts-noto-cjk", "bubblewrap", "libavformat59"}) {
    EXPECT_NE(depends.find(package), std::string::npos) << package << " missing from " << depends;
  }
  std::string lintian = Shell("lintian --fail-on error '" + deb + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << lintian;
  EXPECT_EQ(lintian.find("\nE: "), std::string::npos) << lintian;

  const fs::path root = scratch.path() / "root";
  ASSERT_EQ(system(("dpkg -x '" + deb + "' '" + root.string() + "'").c_str()), 0);
  for (const char* file :
       {"usr/lib/tavo/tavo", "usr/lib/tavo/webext/libtavo_webext.so", "usr/lib/tavo/htmllocal/index.html",
        "usr/share/icons/hicolor/48x48/apps/tavo.png", "usr/share/icons/hicolor/128x128/apps/tavo.png",
        "usr/share/icons/hicolor/256x256/apps/tavo.png", "usr/share/icons/hicolor/scalable/apps/tavo.svg",
        "usr/share/doc/tavo/copyright", "usr/share/gnome-shell/search-providers/org.tavo.Tavo.search-provider.ini",
        "usr/share/dbus-1/services/org.tavo.Tavo.SearchProvider.service"}) {
    EXPECT_TRUE(fs::exists(root / file)) << file;
  }
  EXPECT_EQ(fs::read_symlink(root / "usr/bin/tavo"), "../lib/tavo/tavo");
  // The icons are the sizes their folders name.
  for (int size : {48, 128, 256}) {
    std::string dir = std::to_string(size) + "x" + std::to_string(size);
    GdkPixbuf* icon =
        gdk_pixbuf_new_from_file((root / "usr/share/icons/hicolor" / dir / "apps/tavo.png").c_str(), nullptr);
    ASSERT_NE(icon, nullptr) << dir;
    EXPECT_EQ(gdk_pixbuf_get_width(icon), size);
    EXPECT_EQ(gdk_pixbuf_get_height(icon), size);
    g_object_unref(icon);
  }
  std::string check = Shell(
      "desktop-file-validate '" + (root / "usr/share/applications/org.tavo.Tavo.desktop").string() + "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << check;
  check = Shell("appstreamcli validate --no-net '" +
                    (root / "usr/share/metainfo/org.tavo.Tavo.metainfo.xml").string() + "' 2>&1",
                &status);
  EXPECT_EQ(status, 0) << check;

  // The unpacked program, reached through its link, finds its extension, player page and
  // demo school next to itself.
  ProgramRun run(scratch.path() / "home", {{"DBUS_SESSION_BUS_ADDRESS", ""}});
  ASSERT_TRUE(run.Start({(root / "usr/bin/tavo").string(), "--demo", "--web-port=0"}));
  EXPECT_FALSE(run.WaitForWindow("loginBackDlgClass", 60s).empty()) << run.Output();
  std::error_code ec;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(run.pid()) + "/exe", ec), root / "usr/lib/tavo/tavo");
  EXPECT_NE(run.Output().find("lixiaoming"), std::string::npos) << run.Output();
  EXPECT_EQ(run.Stop(20s), 0) << run.Output();
}

}  // namespace
