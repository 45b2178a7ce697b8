// Figures of a download manager window on the test host with 200 downloads (20 classes of
// 10): the start-up rebuild from the course database (loaders, tree, layout), adding the
// 200 rows one by one as starters do, a full repaint, and one progress message per row
// with the repaint after them. Prints medians of several runs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "downloads/CourseDB.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "study/DownloadCenter.h"
#include "downloads/DownloadTaskList.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "platform/host/TestHost.h"
#include "skin/LoadSkin.h"

namespace {

namespace fs = std::filesystem;

constexpr int kClasses = 20;
constexpr int kPerClass = 10;
constexpr std::int64_t kTotal = 300LL << 20;

class NoDelegate : public DownloadMgrDelegate {
 public:
  void OnUnfinishedCount(TaskKind, int) override {}
  void OpenFinished(const DownloadTask&) override {}
  void ShowMainTip(const std::wstring&) override {}
};

std::vector<DownloadTask> Tasks(const fs::path& folder) {
  std::vector<DownloadTask> tasks;
  for (int c = 0; c < kClasses; ++c) {
    for (int i = 0; i < kPerClass; ++i) {
      DownloadTask t;
      t.classId = std::to_string(100 + c);
      t.className = "第" + std::to_string(c + 1) + "期 会计实务精讲班";
      t.id = t.classId + "-" + std::to_string(i);
      t.name = "第" + std::to_string(i + 1) + "课 长期股权投资的初始计量与后续计量.mp4";
      t.url = "http://127.0.0.1:1/" + t.id + ".mp4";
      t.localFile = (folder / (t.id + ".mp4")).string();
      t.total = kTotal;
      t.kind = TaskKind::Video;
      tasks.push_back(t);
    }
  }
  return tasks;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double TimeMs(const std::function<void()>& fn) {
  auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void Paint(DownloadMgrDlg& wnd, cairo_surface_t* surface) {
  cairo_t* cr = cairo_create(surface);
  wnd.GetPaintManager().Paint(cr, {0, 0, 360, 638});
  cairo_destroy(cr);
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("tavo-mgr-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "files");
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
  InitMessageCore();
  SetHost(std::make_unique<TestHost>());
  if (!LoadSkin()) {
    std::fprintf(stderr, "no skin\n");
    return 1;
  }
  const std::vector<DownloadTask> tasks = Tasks(root / "files");
  // Every other download is finished on disk: the rebuild reads real sizes. Sparse files
  // keep the folder small.
  for (size_t i = 0; i < tasks.size(); ++i) {
    std::ofstream(tasks[i].localFile, std::ios::binary).close();
    fs::resize_file(tasks[i].localFile, static_cast<std::uintmax_t>(i % 2 ? kTotal : kTotal / 3));
    CourseDB::Get()->InsertClass(tasks[i].classId, tasks[i].className, TaskKind::Video);
    CourseDB::Get()->InsertLesson(tasks[i].classId, tasks[i].id, tasks[i].name, tasks[i].url,
                                  std::to_string(kTotal), tasks[i].localFile);
  }
  NoDelegate delegate;
  DownloadCenter downloads;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 360, 638);
  std::vector<double> rebuild, repaint, add, progress;
  for (int run = 0; run < 7; ++run) {
    DownloadTaskList::Get().Clear();
    DownloadVideoDlg restored(&delegate, downloads);
    rebuild.push_back(TimeMs([&] {
      restored.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
      restored.ShowWindow(true);
      restored.GetPaintManager().DoLayout();
    }));
    Paint(restored, surface);  // the first paint lays out the texts once
    repaint.push_back(TimeMs([&] { Paint(restored, surface); }));
    restored.DestroyWindow();

    DownloadTaskList::Get().Clear();
    DownloadVideoDlg fresh(&delegate, downloads);
    fresh.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    fresh.ShowWindow(true);
    add.push_back(TimeMs([&] {
      for (DownloadTask task : tasks) {
        task.notifyWindow = fresh.GetHWND();
        DownloadTaskList::Get().AddTask(task, TaskKind::Video);
        fresh.AddTaskItem(task);
      }
      fresh.GetPaintManager().DoLayout();
    }));
    Paint(fresh, surface);
    progress.push_back(TimeMs([&] {
      for (DownloadTask task : tasks) {
        task.state = TaskState::Transferring;
        auto report = std::make_shared<DownloadTask>(task);
        SendMessage(fresh.GetHWND(), WM_DOWNLOAD_PROGRESS, 37, reinterpret_cast<LPARAM>(report.get()),
                    report);
      }
      Paint(fresh, surface);
    }));
    fresh.DestroyWindow();
    PumpPendingMessages();
  }
  cairo_surface_destroy(surface);
  std::printf("download manager window bench (360 x 638, test host, 200 downloads, medians of 7):\n");
  std::printf("  rebuild from the course database + layout  %8.2f ms\n", Median(rebuild));
  std::printf("  full repaint                               %8.2f ms\n", Median(repaint));
  std::printf("  add 200 rows one by one + layout           %8.2f ms\n", Median(add));
  std::printf("  200 progress messages + repaint            %8.2f ms\n", Median(progress));
  DownloadTaskList::Get().Clear();
  CourseDB::Release();
  ShutdownMessageCore();
  fs::remove_all(root);
  return 0;
}
