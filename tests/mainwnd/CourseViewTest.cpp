// The course view on the test host: the subject tree built from catalogue shapes (order,
// node kinds, the preselected class), selection rules (exam and package nodes bounce
// back, folder clicks keep the selection), the content tabs, the views with the tree
// window, and the expired-login path. Screenshots: <build>/screenshots/course-view-*.png.
#include <atomic>

#include "account/LoginBackDlg.h"
#include "account/WindowTestKit.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/LeftTreeDlg.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "mainwnd/SubjectTree.h"
#include "platform/Messages.h"
#include "service/Records.h"
#include "service/Session.h"
#include "support/GuardedLoop.h"
#include "ui/CheckBox.h"
#include "ui/Option.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"

namespace {

ClassRecord Class(const std::string& id, const std::string& name) {
  ClassRecord c;
  c.id = id;
  c.name = name;
  return c;
}

GroupPackageRecord Package(const std::string& name, std::vector<std::vector<ClassRecord>> subjects) {
  GroupPackageRecord p;
  p.name = name;
  for (auto& classes : subjects) p.classes.push_back({"科目", std::move(classes)});
  return p;
}

SinglePackageRecord Single(const std::string& id, const std::string& name) {
  SinglePackageRecord s;
  s.id = id;
  s.name = name;
  return s;
}

// Exams 2 and 1 (inserted out of order), a package with two subjects, an empty package,
// an exam without packages, a single package and two classes, one of which also sits in
// a package.
void FillCatalogue() {
  gSubjectList.Clear();
  gSubjectList.ExamNames = {{2, "注册会计师"}, {1, "初级会计"}, {3, "税务师"}};
  gSubjectList.PackagesByExam[2] = {Package("注会全科班", {{Class("c3", "审计")}})};
  gSubjectList.PackagesByExam[1] = {
      Package("初级通关班",
              {{Class("c1", "初级会计实务"), Class("c2", "经济法基础")}, {Class("c4", "真题精讲")}}),
      Package("空套餐", {})};
  gSubjectList.PackagesByExam[3] = {};
  gSubjectList.PackagesByExam[4] = {Package("名称缺失的考试下的套餐", {{Class("c6", "税法一")}})};
  gSubjectList.SinglePackages = {Single("s1", "财务管理单科包")};
  gSubjectList.Classes = {Class("c5", "中级会计实务精讲班"), Class("c2", "经济法基础（单独购买）")};
}

class RecordingDelegate : public CourseLists::Delegate {
 public:
  void OnLoginExpired() override { ++expired; }
  int expired = 0;
};

// Kind and title of a row: exam and package nodes carry no class id; leaves do.
std::string Describe(CTreeNodeUI* node) {
  std::string title = ToUtf8(node->FindSubControl(L"lbTitle")->GetText());
  bool leaf = !node->GetUserData().empty();
  const char* kind = node->GetTreeLevel() == 0 ? (leaf ? "top" : "exam") : (leaf ? "class" : "package");
  return std::string(kind) + ":" + title;
}

class CourseViewTest : public WindowTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  void SetUp() override {
    WindowTestKit::SetUp();
    gSubjectList.Clear();
  }
  void TearDown() override {
    CloseAll();
    SetLoginFrame(nullptr);
    m_frame.reset();
    WindowTestKit::TearDown();
    gSubjectList.Clear();
    ClearSessionToken();
  }

  void CloseAll() {
    m_tree.reset();
    m_lists.reset();
    if (MainDlg* main = GetMainDlg()) {
      main->SetQuitOnFinal(false);
      main->DestroyWindow();
    }
    PumpPendingMessages();
  }
  MainDlg* Open() {
    m_opener.ShowMainWindow();
    MainDlg* main = GetMainDlg();
    EXPECT_NE(main, nullptr);
    if (main) main->GetPaintManager().DoLayout();
    PumpPendingMessages();
    return main;
  }
  // A subject tree of its own over an open main window (without courses, so the window
  // built none), with `lastClass` as the remembered position.
  SubjectTree& BuildTree(const std::string& lastClass) {
    gSubjectList.Clear();
    MainDlg* main = Open();
    FillCatalogue();
    m_lists = std::make_unique<CourseLists>(*main, m_delegate, m_catalogue);
    m_lists->SaveLastPosition(lastClass, "");
    m_tree = std::make_unique<SubjectTree>(*main, *m_lists);
    m_tree->CreateWindow(main->GetHWND());
    m_tree->GetWindow()->ShowWindow(true, false);
    m_tree->BuildSubjectTree();
    m_tree->GetWindow()->GetPaintManager().DoLayout();
    return *m_tree;
  }
  static std::vector<std::string> Rows(LeftTreeDlg* wnd) {
    std::vector<std::string> rows;
    CTreeViewUI* tree = wnd->GetTree();
    for (int i = 0; i < tree->GetRowCount(); ++i)
      rows.push_back(Describe(static_cast<CTreeNodeUI*>(tree->GetRowAt(i))));
    return rows;
  }
  static CTreeNodeUI* Row(LeftTreeDlg* wnd, int index) {
    return static_cast<CTreeNodeUI*>(wnd->GetTree()->GetRowAt(index));
  }
  static void ClickAt(LeftTreeDlg* wnd, const CDuiRect& r) {
    wnd->GetPaintManager().DoLayout();
    HostOf(wnd)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  static void ClickOn(WindowImplBase* wnd, const std::wstring& name) {
    wnd->GetPaintManager().DoLayout();
    CDuiRect r = wnd->FindControl(name)->GetPos();
    HostOf(wnd)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  static bool Visible(WindowImplBase* wnd, const std::wstring& name) {
    CControlUI* c = wnd->FindControl(name);
    EXPECT_NE(c, nullptr) << ToUtf8(name);
    return c && c->IsVisible();
  }

  RecordingDelegate m_delegate;
  CourseCatalogue m_catalogue;
  // A school that answers every class at once, with no lessons.
  CourseCatalogue m_quietCatalogue{[](const std::string&, ClassDetail&) { return ClassDetailResult::Filled; }};
  std::unique_ptr<CourseLists> m_lists;
  std::unique_ptr<SubjectTree> m_tree;
  std::unique_ptr<LoginBackDlg> m_frame;
};

TEST_F(CourseViewTest, TreeFollowsTheCatalogueAndPreselectsTheLastClass) {
  const std::vector<std::string> order = {"exam:初级会计",
                                          "package:初级通关班",
                                          "class:初级会计实务",
                                          "class:经济法基础",
                                          "class:真题精讲",
                                          "package:空套餐",
                                          "exam:注册会计师",
                                          "package:注会全科班",
                                          "class:审计",
                                          "exam:税务师",
                                          "exam:",
                                          "package:名称缺失的考试下的套餐",
                                          "class:税法一",
                                          "top:财务管理单科包",
                                          "top:中级会计实务精讲班",
                                          "top:经济法基础（单独购买）"};
  struct Case {
    const char* name;
    std::string lastClass;
    int selectedRow;
  } cases[] = {
      {"no last class: the first leaf", "", 2},
      {"last class gone: the first leaf", "c404", 2},
      {"last class in a package", "c4", 4},
      {"a single package as the last class", "s1", 13},
      {"a class listed twice: the later leaf", "c2", 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SubjectTree& tree = BuildTree(c.lastClass);
    LeftTreeDlg* wnd = tree.GetWindow();
    EXPECT_EQ(Rows(wnd), order);
    ASSERT_EQ(wnd->GetTree()->GetCurSel(), c.selectedRow);
    CTreeNodeUI* selected = wnd->GetSelectedNode();
    EXPECT_EQ(tree.GetCurrentNode(), selected);
    EXPECT_EQ(tree.GetCurrentClassId(), ToUtf8(selected->GetUserData()));
    // Exams and top leaves are tall rows, packages and package classes short ones; only
    // nodes with children get the folder skin (a chevron).
    EXPECT_EQ(Row(wnd, 0)->GetFixedHeight(), 60);
    EXPECT_EQ(Row(wnd, 1)->GetFixedHeight(), 44);
    EXPECT_EQ(Row(wnd, 2)->GetFixedHeight(), 44);
    EXPECT_EQ(Row(wnd, 13)->GetFixedHeight(), 60);
    EXPECT_EQ(Row(wnd, 0)->GetFolderButton()->GetName(), L"treeFolder");
    EXPECT_FALSE(Row(wnd, 9)->IsHasChild());  // the exam without packages
    // The current leaf's title is white on the accent, the others stay grey.
    EXPECT_EQ(static_cast<CLabelUI*>(selected->FindSubControl(L"lbTitle"))->GetTextColor(), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<CLabelUI*>(Row(wnd, 14)->FindSubControl(L"lbTitle"))->GetTextColor(), 0xFF4D4D4Du);
    CloseAll();
  }
}

TEST_F(CourseViewTest, ExamAndPackageNodesAndFolderClicksKeepTheShownClass) {
  SubjectTree& tree = BuildTree("c5");
  LeftTreeDlg* wnd = tree.GetWindow();
  CTreeNodeUI* c5 = Row(wnd, 14);
  ASSERT_EQ(tree.GetCurrentNode(), c5);
  // Tall enough for every row, so nothing scrolls out of reach.
  CDuiRect rc = wnd->GetWindowRect();
  wnd->MoveWindow({rc.left, rc.top, rc.right, rc.top + 1000});
  wnd->GetTree()->SetScrollPos({0, 0});

  // Clicking an exam row folds it and bounces the selection back.
  ClickAt(wnd, Row(wnd, 0)->GetPos());
  EXPECT_FALSE(Row(wnd, 0)->IsExpanded());
  EXPECT_EQ(wnd->GetSelectedNode(), c5);
  EXPECT_EQ(tree.GetCurrentClassId(), "c5");
  ClickAt(wnd, Row(wnd, 0)->GetFolderButton()->GetPos());
  EXPECT_TRUE(Row(wnd, 0)->IsExpanded());
  EXPECT_EQ(wnd->GetSelectedNode(), c5);

  // A package class becomes current; folding and unfolding its package by the folder
  // button leaves it current and selected again once visible.
  CTreeNodeUI* c1 = Row(wnd, 2);
  ClickAt(wnd, c1->GetPos());
  EXPECT_EQ(tree.GetCurrentNode(), c1);
  EXPECT_EQ(tree.GetCurrentClassId(), "c1");
  EXPECT_EQ(static_cast<CLabelUI*>(c5->FindSubControl(L"lbTitle"))->GetTextColor(), 0xFF4D4D4Du);
  EXPECT_EQ(static_cast<CLabelUI*>(c1->FindSubControl(L"lbTitle"))->GetFont(), 5);
  CTreeNodeUI* package = Row(wnd, 1);
  ClickAt(wnd, package->GetFolderButton()->GetPos());
  EXPECT_FALSE(package->IsExpanded());
  EXPECT_EQ(tree.GetCurrentNode(), c1);
  ClickAt(wnd, package->GetFolderButton()->GetPos());
  EXPECT_TRUE(package->IsExpanded());
  EXPECT_EQ(wnd->GetSelectedNode(), c1);
  EXPECT_EQ(tree.GetCurrentClassId(), "c1");

  // A package row selected by code bounces back too.
  wnd->SelectNode(package);
  EXPECT_EQ(wnd->GetSelectedNode(), c1);

  // Down walks every row below: exam and package rows are selected without changing the
  // class shown (so the classes below them stay in reach), class rows show their class.
  wnd->GetTree()->SetFocus();
  CTreeNodeUI* shown = c1;
  int folders = 0;
  for (int i = 3; i < wnd->GetTree()->GetRowCount(); ++i) {
    HostOf(wnd)->Key(VK_DOWN);
    CTreeNodeUI* row = Row(wnd, i);
    ASSERT_EQ(wnd->GetSelectedNode(), row) << i;
    if (row->GetUserData().empty())
      ++folders;
    else
      shown = row;
    EXPECT_EQ(tree.GetCurrentNode(), shown) << i;
  }
  EXPECT_GT(folders, 0);
  EXPECT_NE(shown, c1);
}

// The tree window is one stop of the main window's Tab order: Tab reaches it from the
// window's last stop and leaves it for the first, Shift+Tab goes the other way, and the
// arrows move the selection inside it.
TEST_F(CourseViewTest, TreeIsOneTabStopOfTheMainWindow) {
  SubjectTree& tree = BuildTree("c1");
  LeftTreeDlg* wnd = tree.GetWindow();
  MainDlg* main = GetMainDlg();
  CPaintManagerUI& mainPm = main->GetPaintManager();
  CPaintManagerUI& treePm = wnd->GetPaintManager();
  auto focusedHost = [&] { return HostOf(wnd)->focused ? HostOf(wnd) : HostOf(main); };
  HostOf(main)->Activate();
  int presses = 0;
  while (treePm.GetFocus() != wnd->GetTree() && presses < 100) {
    focusedHost()->Key(VK_TAB);
    ++presses;
  }
  ASSERT_EQ(treePm.GetFocus(), wnd->GetTree()) << "Tab never reaches the tree";
  EXPECT_TRUE(HostOf(wnd)->focused);
  EXPECT_TRUE(treePm.IsFocusVisible());
  EXPECT_EQ(mainPm.GetFocus(), nullptr);
  SaveScreenshot(main, "course-view-tree-tab.png", {wnd});

  HostOf(wnd)->Key(VK_TAB);
  EXPECT_TRUE(HostOf(main)->focused);
  EXPECT_FALSE(HostOf(wnd)->focused);
  EXPECT_NE(mainPm.GetFocus(), nullptr);
  EXPECT_EQ(treePm.GetFocus(), nullptr);

  HostOf(main)->Key(VK_TAB, MK_SHIFT);
  EXPECT_EQ(treePm.GetFocus(), wnd->GetTree());
  HostOf(wnd)->Key(VK_TAB, MK_SHIFT);
  ASSERT_TRUE(HostOf(main)->focused);
  EXPECT_NE(mainPm.GetFocus(), nullptr);
  HostOf(main)->Key(VK_TAB);
  EXPECT_EQ(treePm.GetFocus(), wnd->GetTree());

  // The arrows move inside the tree (its selected row takes the focus); one Tab still
  // leaves it.
  const int before = wnd->GetTree()->GetCurSel();
  HostOf(wnd)->Key(VK_DOWN);
  EXPECT_EQ(wnd->GetTree()->GetCurSel(), before + 1);
  HostOf(wnd)->Key(VK_TAB);
  EXPECT_TRUE(HostOf(main)->focused);
  EXPECT_NE(mainPm.GetFocus(), nullptr);
}

// A catalogue from outside may be huge: the tree still builds, in order, with the last
// class selected.
// Back online, the school's new subject tree replaces the shown one without a restart:
// the class shown stays selected where it still is (its documents are the new ones), else
// the first leaf; a tree the school did not give changes nothing.
TEST_F(CourseViewTest, ANewSubjectTreeReplacesTheShownOneAndKeepsTheClass) {
  SubjectTree& tree = BuildTree("c4");
  LeftTreeDlg* wnd = tree.GetWindow();
  ASSERT_EQ(tree.GetCurrentClassId(), "c4");
  ASSERT_NE(m_lists->FindDocList("c4"), nullptr);
  const std::vector<std::string> before = Rows(wnd);

  ClassRecord c4 = Class("c4", "真题精讲");
  DocumentRecord doc;
  doc.id = "d1";
  doc.name = "新讲义";
  c4.jiangyi = {doc};
  SubjectList withC4;
  withC4.ExamNames = {{1, "初级会计"}};
  withC4.PackagesByExam[1] = {Package("初级通关班", {{Class("c1", "初级会计实务"), c4}})};
  withC4.Classes = {Class("c7", "新开的班")};
  SubjectList withoutC4;
  withoutC4.Classes = {Class("c8", "另一个班"), Class("c9", "第三个班")};

  struct Case {
    const char* what;
    const SubjectList* answer;  // null: the school gave no tree
    std::vector<std::string> rows;
    std::string shown;
  };
  const Case cases[] = {
      {"no answer", nullptr, before, "c4"},
      {"the class is still there",
       &withC4,
       {"exam:初级会计", "package:初级通关班", "class:初级会计实务", "class:真题精讲", "top:新开的班"},
       "c4"},
      {"the class is gone", &withoutC4, {"top:另一个班", "top:第三个班"}, "c8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<bool> asked = false;
    m_catalogue.SetSubjectsFetcher([&](SubjectList& list) {
      if (c.answer) list = *c.answer;
      asked = true;
      return c.answer != nullptr;
    });
    m_catalogue.Refresh();
    ASSERT_TRUE(RunUntil([&] { return asked && Rows(wnd) == c.rows; }));
    PumpPendingMessages();
    EXPECT_EQ(Rows(wnd), c.rows);
    EXPECT_EQ(tree.GetCurrentClassId(), c.shown);
    ASSERT_NE(wnd->GetSelectedNode(), nullptr);
    EXPECT_EQ(tree.GetCurrentNode(), wnd->GetSelectedNode());
    EXPECT_EQ(ToUtf8(wnd->GetSelectedNode()->GetUserData()), c.shown);
  }
  // The shown class's documents were the new ones while it was in the new tree.
  ASSERT_EQ(m_catalogue.Documents("c4").size(), 1u);
  EXPECT_EQ(m_catalogue.Documents("c4")[0].name, "新讲义");
}

TEST_F(CourseViewTest, HugeCatalogueBuilds) {
  gSubjectList.Clear();
  MainDlg* main = Open();
  std::vector<ClassRecord> many;
  for (int i = 0; i < 5000; ++i)
    many.push_back(Class("p" + std::to_string(i), "套餐课 " + std::to_string(i)));
  gSubjectList.PackagesByExam[1] = {Package("大套餐", {many})};
  for (int i = 0; i < 5000; ++i)
    gSubjectList.Classes.push_back(Class("k" + std::to_string(i), "班级 " + std::to_string(i)));
  m_lists = std::make_unique<CourseLists>(*main, m_delegate, m_catalogue);
  m_lists->SaveLastPosition("k4999", "");
  m_tree = std::make_unique<SubjectTree>(*main, *m_lists);
  m_tree->CreateWindow(main->GetHWND());
  m_tree->BuildSubjectTree();
  CTreeViewUI* tree = m_tree->GetWindow()->GetTree();
  ASSERT_EQ(tree->GetRowCount(), 2 + 10000);
  EXPECT_EQ(Describe(Row(m_tree->GetWindow(), 2 + 4999)), "class:套餐课 4999");
  EXPECT_EQ(tree->GetCurSel(), tree->GetRowCount() - 1);
  EXPECT_EQ(m_tree->GetCurrentClassId(), "k4999");
}

TEST_F(CourseViewTest, ContentTabsSwitchHoldersAndToolBars) {
  FillCatalogue();
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  struct Step {
    const wchar_t* tab;
    bool lessons;
  } steps[] = {{L"optJiangYiList", false}, {L"optVideoList", true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(ToUtf8(step.tab));
    ClickOn(main, step.tab);
    EXPECT_EQ(Visible(main, L"vlMainVideoList"), step.lessons);
    EXPECT_EQ(Visible(main, L"optVideoListLine"), step.lessons);
    EXPECT_EQ(Visible(main, L"hLayDownVideo"), step.lessons);
    EXPECT_EQ(Visible(main, L"vlMainJyList"), !step.lessons);
    EXPECT_EQ(Visible(main, L"optJiangYiListLine"), !step.lessons);
    EXPECT_EQ(Visible(main, L"hLayDownDoc"), !step.lessons);
    // The class shown does not change with the tab.
    EXPECT_EQ(main->GetSubjectTree()->GetCurrentClassId(), "c1");
  }
  // The batch controls have their place but wait hidden; so do the badges.
  for (const wchar_t* name :
       {L"optDownloadAllVideo", L"btnDownVideoCancel", L"lbVideoDownCount", L"lbDocDownCount"})
    EXPECT_FALSE(Visible(main, name)) << ToUtf8(name);
  EXPECT_TRUE(Visible(main, L"btnDownloadVideo"));
  EXPECT_EQ(main->FindControl(L"btnDownloadVideo")->GetFixedWidth(), 60);
}

TEST_F(CourseViewTest, ViewsCarryTheTreeWindowAlong) {
  struct Case {
    const char* name;
    bool courses;
  } cases[] = {{"no courses", false}, {"courses", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gSubjectList.Clear();
    if (c.courses) FillCatalogue();
    MainDlg* main = Open();
    ASSERT_NE(main, nullptr);
    TestHostWindow* tree = HostOf(main->GetTreeWindow());
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(main->GetView(), c.courses ? MainDlg::View::Course : MainDlg::View::NoLesson);
    EXPECT_EQ(tree->IsVisible(), c.courses);
    ClickOn(main, L"optMyQuestions");
    EXPECT_EQ(main->GetView(), MainDlg::View::Questions);
    EXPECT_FALSE(tree->IsVisible());
    EXPECT_TRUE(Visible(main, L"vlQuestions"));
    ClickOn(main, L"optMyCourse");
    EXPECT_EQ(tree->IsVisible(), c.courses);
    EXPECT_FALSE(Visible(main, L"vlPersonInfo"));
    EXPECT_FALSE(Visible(main, L"vlDownSetInfo"));
    // Hidden into the tray and back: the tree goes and comes with the window.
    ClickOn(main, L"closebtn");
    EXPECT_FALSE(tree->IsVisible());
    testHost->trayClick(1);
    PumpPendingMessages();
    EXPECT_EQ(tree->IsVisible(), c.courses);
    main->SetQuitOnFinal(false);
    main->DestroyWindow();
    PumpPendingMessages();
  }
}

TEST_F(CourseViewTest, TreeWindowSitsBesideTheBodyAndWLeftFollowsItsWidth) {
  FillCatalogue();
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  LeftTreeDlg* tree = main->GetTreeWindow();
  ASSERT_NE(tree, nullptr);
  // The tree narrows where the body would get too little room, and widens back.
  struct Case {
    const char* name;
    CDuiRect main;
    int treeWidth;
  } cases[] = {{"the smallest window", {10, 20, 1034, 780}, 248},
               {"between", {0, 0, 1100, 800}, 1100 - 776},
               {"full HD", {0, 0, 1920, 1080}, 375}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    main->MoveWindow(c.main);
    PumpPendingMessages();
    CDuiRect rc = tree->GetWindowRect();
    EXPECT_EQ(rc.left, c.main.left + 1);
    EXPECT_EQ(rc.top, c.main.top + 76);
    EXPECT_EQ(rc.bottom, c.main.bottom - 1);
    EXPECT_EQ(rc.GetWidth(), c.treeWidth);
    main->GetPaintManager().DoLayout();
    EXPECT_EQ(main->FindControl(L"wLeft")->GetFixedWidth(), rc.GetWidth());
  }
  // Dragging the right edge: the width stays within 248..375 and "wLeft" follows.
  TestHostWindow* host = HostOf(tree);
  for (int target : {300, 120, 900}) {
    int edge = tree->GetWindowRect().GetWidth() - 2;
    host->MouseDown(edge, 300);
    host->MouseMove(target, 300);
    host->MouseUp(target, 300);
    PumpPendingMessages();
    int width = tree->GetWindowRect().GetWidth();
    EXPECT_EQ(width, std::clamp(target + 2, 248, 375));
    EXPECT_EQ(main->FindControl(L"wLeft")->GetFixedWidth(), width);
  }
}

TEST_F(CourseViewTest, ExpiredLoginClosesTheWindowAndBringsBackTheSignIn) {
  // The class shown at opening is asked for; here the school answers at once with an empty
  // class, so no network tip of its own can join the one under test.
  m_opener = MainWindowOpener(nullptr, &m_quietCatalogue);
  m_frame = std::make_unique<LoginBackDlg>(&m_opener);
  SetLoginFrame(m_frame.get());
  m_frame->Create(kNoWindow, L"Tavo", UI_WNDSTYLE_FRAME, 0, 0, 0, 1366, 768);
  m_frame->CenterWindow();
  FillCatalogue();
  SetSessionToken("token-of-the-student");
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  HWND hwnd = main->GetHWND();
  m_frame->ShowWindow(false, false);  // signed in: the frame waits hidden

  // Two refused fetches (two classes clicked quickly) sign out once, with one tip.
  static_cast<CourseLists::Delegate*>(main)->OnLoginExpired();
  static_cast<CourseLists::Delegate*>(main)->OnLoginExpired();
  EXPECT_EQ(CountSelfOwned(L"MessageBoxDlgClass"), 1u);
  HWND tip = FindWindow(L"MessageBoxDlgClass", L"");
  ASSERT_NE(tip, kNoWindow);
  CDuiRect tipRect = CWindowWnd::FromHandle(tip)->GetWindowRect();
  CDuiRect frameRect = m_frame->GetWindowRect();
  EXPECT_EQ(tipRect.GetWidth(), 144);
  EXPECT_EQ(tipRect.top, frameRect.top + 553);
  EXPECT_FALSE(main->GetQuitOnFinal());

  EXPECT_EQ(RunMessageLoopWithGuard(500), kGuardExitCode);  // the loop keeps running
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(GetMainDlg(), nullptr);
  EXPECT_TRUE(HostOf(m_frame.get())->IsVisible());
  EXPECT_EQ(GetSessionToken(), "");
  EXPECT_TRUE(gSubjectList.Classes.empty());
}

// Pictures of the course view with a filled catalogue at the smallest and the largest
// size the window is made for.
TEST_F(CourseViewTest, Screenshots) {
  FillCatalogue();
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  struct Shot {
    const char* file;
    CDuiRect rc;
  } shots[] = {{"course-view-1024x760.png", {0, 0, 1024, 760}},
               {"course-view-1920x1080.png", {0, 0, 1920, 1080}}};
  for (const Shot& shot : shots) {
    main->MoveWindow(shot.rc);
    PumpPendingMessages();
    main->GetPaintManager().DoLayout();
    main->GetTreeWindow()->GetPaintManager().DoLayout();
    SaveScreenshot(main, shot.file, {main->GetTitleShadow(), main->GetTreeWindow()});
  }
}

}  // namespace
