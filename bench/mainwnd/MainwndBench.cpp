// Figures of the course lists on the test host at 1366 x 768: building and showing a
// 500-lesson list (rows as the lists build them, the program's skin pictures), layout, a
// full repaint and one scroll step with its repaint; then the build of a long list (10,000
// rows unless given). With a display, the same long list in a stock GtkTreeView (store,
// view, window, first drawing) is measured in the same run as the floor. Then the subject
// tree of a large catalogue (6,000 classes) and a download manager window of 1,000 tasks,
// each created, built, laid out and painted once. Prints medians.
// Usage: mainwnd_bench [lessons] [classes] [tasks]
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/CourseListBuilder.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "mainwnd/LeftTreeDlg.h"
#include "mainwnd/SubjectTree.h"
#include "service/Records.h"
#include "study/CourseCatalogue.h"
#include "study/DownloadCenter.h"
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
      <VerticalLayout>
        <HorizontalLayout height="40">
          <Option name="optVideoList" group="tabs" selected="true" width="100"/>
          <Option name="optJiangYiList" group="tabs" width="100"/>
        </HorizontalLayout>
        <VerticalLayout name="vlMainVideoList"/>
        <VerticalLayout name="vlMainJyList" visible="false"/>
      </VerticalLayout>
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

// The floor: the same rows' texts in a GtkListStore shown by a stock GtkTreeView in a
// 1366 x 768 window, timed from the store's creation to the view's first drawing.
double TreeViewMs(const std::vector<LessonRecord>& lessons) {
  std::vector<std::string> durations, progress;
  for (const LessonRecord& l : lessons) {
    durations.push_back(l.duration + " s");
    progress.push_back(l.learned_duration + " s");
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1366, 768);
  bool drawn = false;
  const double ms = TimeMs([&] {
    GtkListStore* store =
        gtk_list_store_new(6, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    for (size_t i = 0; i < lessons.size(); ++i)
      gtk_list_store_insert_with_values(store, nullptr, -1, 0, lessons[i].name.c_str(), 1, i == 3 ? "上一次观看" : "",
                                        2, durations[i].c_str(), 3, progress[i].c_str(), 4, "下载", 5, "播放", -1);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    const char* titles[] = {"课件名称", "", "课件时长", "学习进度", "离线课件", "播放"};
    for (int c = 0; c < 6; ++c)
      gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(view), -1, titles[c], gtk_cell_renderer_text_new(),
                                                  "text", c, nullptr);
    g_signal_connect_after(view, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer flag) -> gboolean {
                             *static_cast<bool*>(flag) = true;
                             return FALSE;
                           }),
                           &drawn);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    gtk_widget_show_all(window);
    while (!drawn) gtk_main_iteration();
  });
  gtk_widget_destroy(window);
  while (gtk_events_pending()) gtk_main_iteration();
  return ms;
}

void PaintOnce(CPaintManagerUI& pm, int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  pm.Paint(cr, {0, 0, width, height});
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// A catalogue of `classes` classes: exams of packages of 30 classes each, 20 packages an
// exam, and the rest as loose classes.
void FillCatalogue(int classes) {
  gSubjectList.Clear();
  int made = 0;
  for (int exam = 1; made + 600 <= classes; ++exam) {
    gSubjectList.ExamNames[exam] = "考试 " + std::to_string(exam);
    auto& packages = gSubjectList.PackagesByExam[exam];
    for (int p = 0; p < 20; ++p) {
      GroupPackageRecord package;
      package.id = std::to_string(exam * 100 + p);
      package.name = "全科通关套餐 " + package.id;
      SubjectEntry subject;
      for (int c = 0; c < 30; ++c, ++made) {
        ClassRecord cls;
        cls.id = "c" + std::to_string(made);
        cls.name = "第" + std::to_string(made) + "班 基础精讲与习题串讲";
        subject.classes.push_back(cls);
      }
      package.classes.push_back(subject);
      packages.push_back(package);
    }
  }
  for (; made < classes; ++made) {
    ClassRecord cls;
    cls.id = "c" + std::to_string(made);
    cls.name = "第" + std::to_string(made) + "班 单科精讲";
    gSubjectList.Classes.push_back(cls);
  }
}

struct NoDelegate : CourseLists::Delegate, DownloadMgrDelegate {
  void OnLoginExpired() override {}
  void OnUnfinishedCount(TaskKind, int) override {}
  void OpenFinished(const DownloadTask&) override {}
  void ShowMainTip(const std::wstring&) override {}
};

// Creates the subject tree window over a main window, builds the tree and shows it.
double TreeMs(NoDelegate& delegate) {
  BenchWnd main;
  main.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
  main.ShowWindow(true);
  main.PM().DoLayout();
  CourseCatalogue catalogue([](const std::string&, ClassDetail&) { return ClassDetailResult::NoAnswer; });
  CourseLists lists(main, delegate, catalogue);
  SubjectTree tree(main, lists);
  const double ms = TimeMs([&] {
    tree.CreateWindow(main.GetHWND());
    tree.GetWindow()->ShowWindow(true, false);
    tree.BuildSubjectTree();
    CPaintManagerUI& pm = tree.GetWindow()->GetPaintManager();
    pm.DoLayout();
    PaintOnce(pm, std::max(1, pm.GetClientSize().cx), std::max(1, pm.GetClientSize().cy));
  });
  main.DestroyWindow();
  return ms;
}

// `tasks` unfinished video downloads in classes of 25, in the task list.
void FillTasks(int tasks, const std::filesystem::path& folder) {
  DownloadTaskList::Get().Clear();
  for (int i = 0; i < tasks; ++i) {
    DownloadTask task;
    task.classId = "c" + std::to_string(i / 25);
    task.className = "第" + std::to_string(i / 25) + "班 基础精讲";
    task.id = std::to_string(100000 + i);
    task.video = "v" + task.id;
    task.name = "第" + std::to_string(i + 1) + "课 函数、极限与连续.mp4";
    task.localFile = (folder / task.name).string();
    task.total = 100 << 20;
    task.downloaded = (i % 7) << 20;
    task.kind = TaskKind::Video;
    DownloadTaskList::Get().AddTask(task, TaskKind::Video);
  }
}

// Creates the video manager window (its rows from the task list), shows and paints it.
double ManagerMs(NoDelegate& delegate, DownloadCenter& center) {
  DownloadVideoDlg manager(&delegate, center);
  const double ms = TimeMs([&] {
    manager.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    manager.ShowWindow(true, false);
    CPaintManagerUI& pm = manager.GetPaintManager();
    pm.DoLayout();
    PaintOnce(pm, std::max(1, pm.GetClientSize().cx), std::max(1, pm.GetClientSize().cy));
  });
  manager.DestroyWindow();
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  const int classes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 6000;
  const int tasks = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;
  const bool display = gtk_init_check(&argc, &argv);
  InitMessageCore();
  SetHost(std::make_unique<TestHost>());
  if (!LoadSkin()) {
    std::fprintf(stderr, "no skin\n");
    return 1;
  }
  auto dir = std::filesystem::temp_directory_path() / ("tavo-lists-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  // The course database and settings of the manager window stay in the bench's folder.
  for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
    setenv(name, (dir / name).c_str(), 1);
  std::ofstream(dir / "lists_bench.xml") << kSkin;
  CResourceStore::Get().SetFolder(dir.string());

  const std::vector<LessonRecord> lessons = Lessons(500);
  const std::vector<LessonRecord> many = Lessons(count);
  std::vector<double> build, layout, paint, scroll, buildMany, firstPaintMany, closeMany, floorMany;
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
      cairo_surface_t* bigSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1366, 768);
      firstPaintMany.push_back(buildMany.back() + TimeMs([&] {
                                 cairo_t* cr = cairo_create(bigSurface);
                                 big->PM().Paint(cr, {0, 0, 1366, 768});
                                 cairo_destroy(cr);
                               }));
      cairo_surface_destroy(bigSurface);
      closeMany.push_back(TimeMs([&] {
        big->DestroyWindow();
        big.reset();
      }));
    }
    wnd.DestroyWindow();
    if (run < 3 && display) floorMany.push_back(TreeViewMs(many));
  }
  std::printf("course lists bench (1366 x 768, test host, medians):\n");
  std::printf("  build and show 500 lessons   %8.2f ms\n", Median(build));
  std::printf("  layout                       %8.2f ms\n", Median(layout));
  std::printf("  full repaint                 %8.2f ms\n", Median(paint));
  std::printf("  scroll step + repaint        %8.2f ms\n", Median(scroll));
  std::printf("  build, show, layout %6d    %8.2f ms\n", count, Median(buildMany));
  std::printf("  ... and first paint          %8.2f ms\n", Median(firstPaintMany));
  std::printf("  close and free %6d rows   %8.2f ms\n", count, Median(closeMany));
  if (display) {
    const double floor = Median(floorMany);
    std::printf("  floor: GtkTreeView %6d rows, store to first drawing %8.2f ms\n", count, floor);
    std::printf("  ratio (build, show, layout, first paint / floor)     %6.2fx\n", Median(firstPaintMany) / floor);
  } else {
    std::printf("  floor: no display, GtkTreeView not measured (run under xvfb-run)\n");
  }

  NoDelegate delegate;
  FillCatalogue(classes);
  std::vector<double> treeMs;
  for (int run = 0; run < 5; ++run) treeMs.push_back(TreeMs(delegate));
  gSubjectList.Clear();
  std::printf("subject tree of %d classes: create, build, lay out, paint  %8.2f ms\n", classes, Median(treeMs));

  FillTasks(tasks, dir / "downloads");
  std::vector<double> managerMs;
  {
    DownloadCenter center;
    for (int run = 0; run < 5; ++run) managerMs.push_back(ManagerMs(delegate, center));
  }
  DownloadTaskList::Get().Clear();
  CourseDB::Release();
  std::printf("download manager of %d tasks: create, build, lay out, paint %8.2f ms\n", tasks, Median(managerMs));

  ShutdownMessageCore();
  std::filesystem::remove_all(dir);
  return 0;
}
