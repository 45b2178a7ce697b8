// Figures of the course lists on the test host at 1366 x 768: building and showing a
// 500-lesson list (rows as the lists build them, the program's skin pictures), layout, a
// full repaint and one scroll step with its repaint; then the build of 10,000 rows. Prints
// medians of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "mainwnd/CourseListBuilder.h"
#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "skin/LoadSkin.h"
#include "ui/Container.h"
#include "ui/List.h"
#include "ui/ResourceStore.h"
#include "ui/WindowImplBase.h"

namespace {

const char* kSkin = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="1366,768">
  <Font id="0" size="14"/><Font id="5" size="14" bold="true"/><Font id="7" size="14"/>
  <Font id="8" size="12"/><Font id="9" size="16"/>
  <VerticalLayout bkcolor="#FFFFFFFF">
    <HorizontalLayout height="120" bkcolor="#FFFF854D"/>
    <HorizontalLayout>
      <Control width="300" bkcolor="#FFF5F6F8"/>
      <VerticalLayout name="vlMainVideoList"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

class BenchWnd : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"listsBenchClass"; }
  std::wstring GetSkinFile() override { return L"lists_bench.xml"; }
  CPaintManagerUI& PM() { return m_pm; }
};

std::vector<LessonRecord> Lessons(int count) {
  std::vector<LessonRecord> lessons(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    LessonRecord& l = lessons[static_cast<size_t>(i)];
    l.id = std::to_string(1000 + i);
    l.video = "v" + l.id;
    l.name = "第" + std::to_string(i + 1) + "课 函数、极限与连续的基本概念和典型例题精讲";
    l.duration = std::to_string(1200 + i * 7);
    l.learned_duration = std::to_string(i * 13 % 2000);
  }
  return lessons;
}

// Creates the list, fills it with rows the way the lists do, and shows it in the holder.
CListUI* BuildAndShow(BenchWnd& wnd, const std::vector<LessonRecord>& lessons) {
  auto* holder = static_cast<CContainerUI*>(wnd.FindControl(L"vlMainVideoList"));
  auto list = CreateCourseList(ListKind::Lessons, "101", 1366);
  CListUI* raw = list.get();
  holder->Add(list.release());
  for (size_t i = 0; i < lessons.size(); ++i) AddLessonRow(*raw, lessons[i], static_cast<int>(i), "1003");
  raw->SetVisible(true);
  return raw;
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

}  // namespace

int main() {
  InitMessageCore();
  SetHost(std::make_unique<TestHost>());
  if (!LoadSkin()) {
    std::fprintf(stderr, "no skin\n");
    return 1;
  }
  auto dir = std::filesystem::temp_directory_path() / ("tavo-lists-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "lists_bench.xml") << kSkin;
  CResourceStore::Get().SetFolder(dir.string());

  const std::vector<LessonRecord> lessons = Lessons(500);
  const std::vector<LessonRecord> many = Lessons(10000);
  std::vector<double> build, layout, paint, scroll, buildMany, closeMany;
  for (int run = 0; run < 7; ++run) {
    BenchWnd wnd;
    wnd.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    wnd.ShowWindow(true);
    wnd.PM().DoLayout();
    CListUI* list = nullptr;
    build.push_back(TimeMs([&] { list = BuildAndShow(wnd, lessons); }));
    layout.push_back(TimeMs([&] { wnd.PM().DoLayout(); }));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1366, 768);
    auto fullPaint = [&] {
      cairo_t* cr = cairo_create(surface);
      wnd.PM().Paint(cr, {0, 0, 1366, 768});
      cairo_destroy(cr);
    };
    fullPaint();  // the first paint lays out the texts once; measure the steady state
    paint.push_back(TimeMs(fullPaint));
    for (int step = 0; step < 10; ++step) {
      scroll.push_back(TimeMs([&] {
        list->GetList()->LineDown();
        fullPaint();
      }));
    }
    cairo_surface_destroy(surface);
    if (run < 3) {
      auto big = std::make_unique<BenchWnd>();
      big->Create(kNoWindow, L"Tavo", WS_POPUP, 0);
      big->ShowWindow(true);
      buildMany.push_back(TimeMs([&] {
        BuildAndShow(*big, many);
        big->PM().DoLayout();
      }));
      closeMany.push_back(TimeMs([&] {
        big->DestroyWindow();
        big.reset();
      }));
    }
    wnd.DestroyWindow();
  }
  std::printf("course lists bench (1366 x 768, test host, medians):\n");
  std::printf("  build and show 500 lessons   %8.2f ms\n", Median(build));
  std::printf("  layout                       %8.2f ms\n", Median(layout));
  std::printf("  full repaint                 %8.2f ms\n", Median(paint));
  std::printf("  scroll step + repaint        %8.2f ms\n", Median(scroll));
  std::printf("  build, show, layout 10,000   %8.2f ms\n", Median(buildMany));
  std::printf("  close and free 10,000 rows   %8.2f ms\n", Median(closeMany));
  ShutdownMessageCore();
  std::filesystem::remove_all(dir);
  return 0;
}
