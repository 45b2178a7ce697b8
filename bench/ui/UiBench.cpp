// Figures of the toolkit on the test host: skin build, layout, full paint (1366 x 768) of a
// window with a 1,000-row list whose rows are built at run time the way the course lists
// build theirs, and one scroll step (scroll plus repaint). Prints medians. With a display,
// the layer figures of the GTK host follow (LayerBench.cpp).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "LayerBench.h"
#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "ui/Button.h"
#include "ui/HorizontalLayout.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/Option.h"
#include "ui/ResourceStore.h"
#include "ui/VerticalLayout.h"
#include "ui/WindowImplBase.h"

namespace {

const char* kSkin = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="1366,768" caption="0,0,0,72" sizebox="4,4,4,4" mininfo="1024,760">
  <Font id="5" size="14"/><Font id="7" size="14"/><Font id="8" size="12"/>
  <VerticalLayout bkcolor="#FFF5F6F8">
    <HorizontalLayout height="72" bkcolor="#FFFF854D"><Label text="Tavo 课程" textcolor="#FFFFFFFF" font="5"/></HorizontalLayout>
    <List name="vlLesson" bkcolor="#FFFFFFFF" itemshowrowline="true" itemlinecolor="#FFE6E6E6" itemhotbkcolor="#FFF7F7F7"
          itemselectedbkcolor="#FFFFEFE7" vscrollbar="true" scrollstepsize="60">
      <ListHeader height="48">
        <ListHeaderItem width="27" visible="false"/>
        <ListHeaderItem text="课程名称" textcolor="#FF292929" align="left" font="5"/>
        <ListHeaderItem text="上次观看" width="120" font="5"/>
        <ListHeaderItem text="时长" width="120" font="5"/>
        <ListHeaderItem text="进度" width="120" font="5"/>
        <ListHeaderItem text="下载" width="144" font="5"/>
        <ListHeaderItem text="播放" width="120" font="5"/>
      </ListHeader>
    </List>
  </VerticalLayout>
</Window>)";

class BenchWnd : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"benchDlgClass"; }
  std::wstring GetSkinFile() override { return L"bench.xml"; }
  TestHostWindow* Host() const { return static_cast<TestHostWindow*>(m_host.get()); }
  CPaintManagerUI& PM() { return m_pm; }
};

template <class T>
T* Make() {
  return std::make_unique<T>().release();  // ownership passes to the container at once
}

void AddRows(CListUI* list, int count) {
  for (int i = 0; i < count; ++i) {
    auto* row = Make<CListContainerElementUI>();
    row->ApplyAttributeList(L"height=\"60\" inset=\"7,0,0,0\"");
    auto* select = Make<CHorizontalLayoutUI>();
    select->SetVisible(false);
    auto* option = Make<COptionUI>();
    option->ApplyAttributeList(L"name=\"optSelectVideo\" width=\"24\" height=\"24\"");
    select->Add(option);
    row->Add(select);
    auto* name = Make<CLabelUI>();
    name->SetText(L"第" + std::to_wstring(i + 1) + L"课 函数、极限与连续的基本概念和典型例题精讲");
    name->ApplyAttributeList(L"endellipsis=\"true\" textcolor=\"#FF4D4D4D\" font=\"7\"");
    row->Add(name);
    auto* mark = Make<CLabelUI>();
    if (i == 3) mark->ApplyAttributeList(L"textcolor=\"#FFFFAB84\" font=\"8\" text=\"上一次观看\"");
    row->Add(mark);
    auto* duration = Make<CLabelUI>();
    duration->ApplyAttributeList(
        L"name=\"lessonDuration\" align=\"center\" textcolor=\"#FF4D4D4D\" font=\"7\" text=\"45:12\"");
    row->Add(duration);
    auto* progress = Make<CLabelUI>();
    progress->ApplyAttributeList(
        L"name=\"learnProgress\" align=\"center\" textcolor=\"#FF4D4D4D\" font=\"7\" text=\"已学 35%\"");
    row->Add(progress);
    auto* down = Make<CButtonUI>();
    down->ApplyAttributeList(
        L"name=\"btnVideoDown\" align=\"center\" textcolor=\"#FF4D4D4D\" disabledtextcolor=\"#FFB3B3B3\" "
        L"font=\"7\" text=\"下载\"");
    row->Add(down);
    auto* play = Make<CHorizontalLayoutUI>();
    auto* pad = Make<CControlUI>();
    pad->SetFixedWidth(50);
    play->Add(pad);
    auto* playBtn = Make<CButtonUI>();
    playBtn->ApplyAttributeList(
        L"name=\"btnVideoPlay\" width=\"20\" height=\"20\" bkcolor=\"#FFFF854D\" borderround=\"20,20\"");
    play->Add(playBtn);
    row->Add(play);
    list->Add(row);
  }
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
  auto dir = std::filesystem::temp_directory_path() / ("tavo-ui-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "bench.xml") << kSkin;
  CResourceStore::Get().SetFolder(dir.string());

  std::vector<double> build, rows, layout, paint, scroll, scrollOnly;
  for (int run = 0; run < 7; ++run) {
    BenchWnd wnd;
    build.push_back(TimeMs([&] { wnd.Create(kNoWindow, L"Tavo", WS_POPUP, 0); }));
    wnd.ShowWindow(true);
    auto* list = static_cast<CListUI*>(wnd.FindControl(L"vlLesson"));
    rows.push_back(TimeMs([&] { AddRows(list, 1000); }));
    layout.push_back(TimeMs([&] { wnd.PM().DoLayout(); }));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1366, 768);
    auto fullPaint = [&] {
      cairo_t* cr = cairo_create(surface);
      wnd.PM().Paint(cr, {0, 0, 1366, 768});
      cairo_destroy(cr);
    };
    fullPaint();  // first paint lays out text once; measure the steady state
    paint.push_back(TimeMs(fullPaint));
    for (int step = 0; step < 20; ++step) scrollOnly.push_back(TimeMs([&] { list->GetList()->LineDown(); }));
    for (int step = 0; step < 20; ++step) {
      scroll.push_back(TimeMs([&] {
        list->GetList()->LineDown();
        fullPaint();
      }));
    }
    cairo_surface_destroy(surface);
    wnd.DestroyWindow();
  }
  std::printf("ui bench (1366 x 768 window, list of 1,000 rows, medians):\n");
  std::printf("  skin build            %7.2f ms\n", Median(build));
  std::printf("  add 1,000 rows        %7.2f ms\n", Median(rows));
  std::printf("  layout                %7.2f ms\n", Median(layout));
  std::printf("  full paint            %7.2f ms   (goal < 8 ms)\n", Median(paint));
  std::printf("  scroll step alone     %7.2f ms\n", Median(scrollOnly));
  std::printf("  scroll step + repaint %7.2f ms   (goal < 4 ms)\n", Median(scroll));
  RunLayerBench();
  ShutdownMessageCore();
  std::filesystem::remove_all(dir);
  return 0;
}
