// Local playback on the test host: which files count as H.264 (real files encoded here),
// the one local player reused for a second video, and the external player: the desktop's
// default application started with the file, waited for off the main loop, and its absence.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>

extern "C" {
#include <libavutil/log.h>
}

#include "MediaWriter.h"
#include "StandInPlayer.h"
#include "account/WindowTestKit.h"
#include "app/TextConv.h"
#include "downloads/DownloadTask.h"
#include "mainwnd/MainDlg.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "playback/LibAv.h"
#include "playback/MediaProbe.h"
#include "playback/PlayLocal.h"
#include "playback/SystemPlayer.h"
#include "playback/VideoLocalPlayDlg.h"
#include "playback/VideoTitleDlg.h"

namespace fs = std::filesystem;

namespace {

// The private desktop must exist before anything reads the XDG folders.
class DesktopEnvironment : public ::testing::Environment {
 public:
  DesktopEnvironment() { StandInPlayer::Get(); }
};
const auto* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

// The media files, made once for the whole run.
struct MediaSet {
  fs::path folder;
  fs::path h264, h264WithAudio, audioFirst, vp9, audioOnly, text, empty, fakeExtension;
  std::string error;
  bool ok = false;
  MediaSet() {
    av_log_set_level(AV_LOG_ERROR);
    char pattern[] = "/tmp/tavo-media-XXXXXX";
    folder = mkdtemp(pattern);
    h264 = folder / "第一讲 函数.mp4";
    h264WithAudio = folder / "lesson-av.mp4";
    audioFirst = folder / "audio-first.mp4";
    vp9 = folder / "lesson-vp9.webm";
    audioOnly = folder / "tone.wav";
    text = folder / "notes.mp4";
    empty = folder / "empty.mp4";
    fakeExtension = folder / "really-h264.webm";
    ok = WriteMedia(h264, {"libx264"}, error) && WriteMedia(h264WithAudio, {"libx264", "aac"}, error) &&
         WriteMedia(audioFirst, {"aac", "libx264"}, error) &&
         WriteMedia(vp9, {"libvpx-vp9", "libopus"}, error) && WriteMedia(audioOnly, {"pcm_s16le"}, error);
    std::ofstream(text) << "这不是视频。\nnot a video either\n";
    std::ofstream(empty).flush();
    fs::copy_file(h264, fakeExtension);
  }
  ~MediaSet() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

MediaSet& Media() {
  static MediaSet media;
  return media;
}

DownloadTask TaskFor(const fs::path& file, const std::string& id) {
  DownloadTask task;
  task.kind = TaskKind::Video;
  task.classId = "1101";
  task.id = id;
  task.name = file.filename().string();
  task.localFile = file.string();
  return task;
}

}  // namespace

TEST(IsH264File, AnswersFromTheFirstStreamOfRealFiles) {
  ASSERT_TRUE(Media().ok) << Media().error;
  struct Case {
    const char* what;
    fs::path path;
    bool h264;
  } cases[] = {
      {"H.264 in MP4, a Chinese file name", Media().h264, true},
      {"H.264 then AAC", Media().h264WithAudio, true},
      {"AAC first, H.264 second", Media().audioFirst, false},
      {"VP9 and Opus in WebM", Media().vp9, false},
      {"audio only", Media().audioOnly, false},
      {"a text file named .mp4", Media().text, false},
      {"an empty file", Media().empty, false},
      {"a missing file", Media().folder / "gone.mp4", false},
      {"H.264 named .webm: the content decides", Media().fakeExtension, true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsH264File(c.path.string()), c.h264) << c.what;
}

TEST(IsH264File, TheProgramLinksNoMediaLibraryAndLoadsItOnlyToProbe) {
  // The program's own dynamic section: libavformat, and what it would pull in, is not there.
  std::string dynamic;
  if (FILE* readelf = ::popen("readelf -d '" TAVO_EXECUTABLE "' 2>&1", "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, readelf)) > 0;) dynamic.append(buffer, n);
    ::pclose(readelf);
  }
  ASSERT_NE(dynamic.find("(NEEDED)"), std::string::npos) << dynamic;
  for (const char* library : {"libavformat", "libavcodec", "libavutil"})
    EXPECT_EQ(dynamic.find(library), std::string::npos) << library << " is linked:\n" << dynamic;
  // Loaded at run time by the sonames of the headers; a missing library gives no loader.
  EXPECT_NE(LibAv::Get(), nullptr);
  EXPECT_EQ(LibAv::Load("libavformat.so.0-absent", LibAv::kUtilSoname), nullptr);
  EXPECT_EQ(LibAv::Load(LibAv::kFormatSoname, "libavutil.so.0-absent"), nullptr);
}

TEST(IsH264File, NeverFollowsAPlaylistOutOfTheFile) {
  ASSERT_TRUE(Media().ok) << Media().error;
  // A "video" that is really a playlist naming an H.264 file elsewhere must not be
  // taken for that file.
  fs::path playlist = Media().folder / "playlist.mp4";
  std::ofstream(playlist) << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:" << Media().h264.string()
                          << "\n#EXT-X-ENDLIST\n";
  fs::path concat = Media().folder / "concat.mp4";
  std::ofstream(concat) << "ffconcat version 1.0\nfile '" << Media().h264.string() << "'\n";
  EXPECT_FALSE(IsH264File(playlist.string()));
  EXPECT_FALSE(IsH264File(concat.string()));
}

class LocalPlayerTest : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    ASSERT_TRUE(Media().ok) << Media().error;
    StandInPlayer::Get().Reset();
  }
  void TearDown() override {
    StandInPlayer::Get().Release();
    WindowTestKit::TearDown();
  }
  static VideoLocalPlayDlg* Player() {
    return dynamic_cast<VideoLocalPlayDlg*>(
        CWindowWnd::FromHandle(FindWindow(L"videoLocalPlayDlgClass", L"Tavo")));
  }
  // PlayLocal, then the loop until the player was chosen; the probe's answer.
  bool Play(const DownloadTask& task) {
    bool done = false;
    bool h264 = false;
    PlayLocal(task, [&](bool answer) {
      h264 = answer;
      done = true;
    });
    EXPECT_TRUE(RunUntil([&] { return done; }));
    return h264;
  }
};

TEST_F(LocalPlayerTest, AnH264VideoOpensTheOneLocalPlayerAndASecondReusesIt) {
  EXPECT_TRUE(Play(TaskFor(Media().h264, "110101")));
  VideoLocalPlayDlg* player = Player();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->GetLocalPath(), Media().h264.string());
  EXPECT_EQ(player->GetLessonId(), "110101");
  // A lesson the catalogue does not know is named by its file.
  EXPECT_EQ(player->GetTitleWindow()->GetTitle(), L"第一讲 函数");
  player->GetPaintManager().DoLayout();

  EXPECT_TRUE(Play(TaskFor(Media().h264WithAudio, "110102")));
  RunUntil([&] { return player->GetLocalPath() == Media().h264WithAudio.string(); });
  EXPECT_EQ(Player(), player) << "one local player";
  EXPECT_EQ(CountSelfOwned(L"videoLocalPlayDlgClass"), 1u);
  EXPECT_EQ(player->GetLessonId(), "110102");
  EXPECT_EQ(player->GetTitleWindow()->GetTitle(), L"lesson-av") << "the title bar names the video that plays";
  EXPECT_FALSE(fs::exists(StandInPlayer::Get().RecordFile())) << "no external player for H.264";

  PostMessage(player->GetHWND(), WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(RunUntil([] { return Player() == nullptr; }));
}

TEST_F(LocalPlayerTest, AnotherCodecGoesToTheDefaultApplicationWhileTheLoopRuns) {
  EXPECT_FALSE(Play(TaskFor(Media().vp9, "220101")));
  StandInPlayer& desktop = StandInPlayer::Get();
  // The stand-in gets the file while the main loop keeps delivering messages.
  int delivered = 0;
  MessageWindow probe([&](UINT, WPARAM, LPARAM, const Payload&) -> LRESULT {
    ++delivered;
    return 0;
  });
  EXPECT_TRUE(RunUntil([&] { return fs::exists(desktop.RecordFile()); }, std::chrono::seconds(10)));
  PostMessage(probe.GetHWND(), WM_USER);
  EXPECT_TRUE(RunUntil([&] { return delivered == 1; }));
  EXPECT_EQ(desktop.Recorded(), Media().vp9.string() + "\n");
  EXPECT_EQ(Player(), nullptr) << "no local player for VP9";
}

TEST_F(LocalPlayerTest, WithoutAnApplicationForTheFileTheMainWindowShowsATip) {
  MainDlg* main = OpenMainWindow();
  ASSERT_NE(main, nullptr);
  main->SetQuitOnFinal(false);
  EXPECT_FALSE(Play(TaskFor(Media().audioOnly, "110103")));
  HWND tip = kNoWindow;
  EXPECT_TRUE(RunUntil([&] { return (tip = FindWindow(L"MessageBoxDlgClass", L"")) != kNoWindow; }));
  auto* toast = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(tip));
  ASSERT_NE(toast, nullptr);
  CControlUI* text = toast->FindControl(L"lbTip");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetText(), kNoPlayerTip);
  EXPECT_EQ(Player(), nullptr);
}

TEST(SystemPlayer, WaitsForTheApplicationToEnd) {
  ASSERT_TRUE(Media().ok) << Media().error;
  StandInPlayer& desktop = StandInPlayer::Get();
  desktop.Reset();
  auto run = std::async(std::launch::async, [] { return PlayWithSystemPlayer(Media().vp9.string()); });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(desktop.RecordFile()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(desktop.RecordFile()));
  EXPECT_EQ(run.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
      << "returned while the application still runs";
  desktop.Release();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(run.get(), SystemPlayerResult::Ended);
}

TEST(SystemPlayer, NoApplicationForTheTypeIsReported) {
  ASSERT_TRUE(Media().ok) << Media().error;
  StandInPlayer::Get().Reset();
  // Nothing on the private desktop opens WAV, nor anything for a missing file.
  EXPECT_EQ(PlayWithSystemPlayer(Media().audioOnly.string()), SystemPlayerResult::NoApplication);
  EXPECT_EQ(PlayWithSystemPlayer((Media().folder / "gone.webm").string()), SystemPlayerResult::NoApplication);
  EXPECT_FALSE(fs::exists(StandInPlayer::Get().RecordFile()));
}
