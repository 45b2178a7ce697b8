// The main window's frame.
#include "mainwnd/MainDlg.h"

#include "account/AboutDlg.h"
#include "account/LoginBackDlg.h"
#include "account/MessageBoxDlg.h"
#include "account/SelfOwnedWindows.h"
#include "account/SqUserDB.h"
#include "account/TitleShadowDlg.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/LeftTreeDlg.h"
#include "mainwnd/LessonMarkClear.h"
#include "mainwnd/MoveMyInfoButton.h"
#include "mainwnd/OfflineOpen.h"
#include "mainwnd/PlayerLink.h"
#include "mainwnd/SubjectTree.h"
#include "platform/MessageCore.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"
#include "study/OfflineState.h"
#include "ui/Dialogs.h"
#include "ui/Notifications.h"
#include "ui/Option.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"

namespace {

// Sent while the window is dragged, with the proposed window rectangle (CDuiRect) as
// payload; hosts whose owned layers follow their owner by themselves never send it.
constexpr UINT WM_MOVING = 0x0216;

constexpr int kTitleBarHeight = 72;
constexpr UINT kIconId = 102;
constexpr int kTabFont = 12;
constexpr int kSelectedTabFont = 13;
// The expired-login tip.
constexpr int kExpiredTipWidth = 144;
constexpr int kExpiredTipDistance = 553;
// A manager window opens under its button, this far to the left and below.
constexpr int kManagerLeftOfButton = 252;
constexpr int kManagerBelowButton = 19;
constexpr int kManagerWidth = 360;
constexpr int kManagerHeight = 638;

MainDlg* g_mainDlg = nullptr;

void CloseIfOpen(const std::wstring& className, const std::wstring& title) {
  HWND hwnd = FindWindow(className, title);
  if (hwnd != kNoWindow) SendMessage(hwnd, WM_CLOSE);
}

}  // namespace

bool HasCourses() {
  return !gSubjectList.PackagesByExam.empty() || !gSubjectList.SinglePackages.empty() ||
         !gSubjectList.Classes.empty();
}

MainDlg* GetMainDlg() { return g_mainDlg; }

MainDlg* OpenMainWindow(DownloadCenter* downloads, CourseCatalogue* catalogue, OfflineState* offline) {
  if (g_mainDlg) {
    PostMessage(g_mainDlg->GetHWND(), WM_ACTIVATE_MAIN);
    return g_mainDlg;
  }
  auto dlg = std::make_unique<MainDlg>(downloads, catalogue, offline);
  // A zero size takes the skin's size.
  if (dlg->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the main window could not be created");
    return nullptr;
  }
  g_mainDlg = AdoptSelfOwned(std::move(dlg));
  g_mainDlg->CenterWindow();
  g_mainDlg->ShowWindow(true, true);
  // A new main window means a sign-in just succeeded: positions a player could not send
  // earlier (this run or a former one) go now, not only when a player opens. Offline they
  // wait for the catch-up.
  if (!(offline && offline->IsOffline())) SendKeptProgress();
  return g_mainDlg;
}

MainDlg::MainDlg(DownloadCenter* downloads, CourseCatalogue* catalogue, OfflineState* offline)
    : m_ownDownloads(downloads != nullptr ? nullptr : std::make_unique<DownloadCenter>()),
      m_downloads(downloads != nullptr ? *downloads : *m_ownDownloads),
      m_ownCatalogue(catalogue != nullptr ? nullptr : std::make_unique<CourseCatalogue>()),
      m_catalogue(catalogue != nullptr ? *catalogue : *m_ownCatalogue),
      m_ownOffline(offline != nullptr ? nullptr : std::make_unique<OfflineState>()),
      m_offline(offline != nullptr ? *offline : *m_ownOffline) {
  m_downloads.ForgetStates();
}

LeftTreeDlg* MainDlg::GetTreeWindow() const { return m_subjectTree ? m_subjectTree->GetWindow() : nullptr; }

std::unique_ptr<CControlUI> MainDlg::CreateControl(const std::wstring& tag) {
  if (tag == L"MoveMyInfoButton") return std::make_unique<MoveMyInfoButton>(*this);
  if (tag == L"HeadIcon") return std::make_unique<CHeadUI>();
  return m_questions.CreateControl(tag, m_hWnd);
}
MainDlg::~MainDlg() {
  m_offline.RemoveRefusalHandler(this);
  if (m_menu) m_menu->DestroyMenu();
}

void MainDlg::InitWindow() {
  m_closeBtn = FindControl(L"closebtn");
  m_maxBtn = FindControl(L"maxbtn");
  m_restoreBtn = FindControl(L"restorebtn");
  m_optMyCourse = FindControlAs<COptionUI>(L"optMyCourse");
  m_optMyQuestions = FindControlAs<COptionUI>(L"optMyQuestions");
  m_optMyNotes = FindControlAs<COptionUI>(L"optMyNotes");
  m_hLayLesson = FindControl(L"hLayLesson");
  m_vLayNoLesson = FindControl(L"vLayNoLesson");
  m_vlQuestions = FindControl(L"vlQuestions");
  m_vlMain = FindControl(L"vlMain");
  m_wLeft = FindControl(L"wLeft");
  for (const wchar_t* badge : {L"lbVideoDownCount", L"lbDocDownCount"})
    if (CControlUI* c = FindControl(badge)) c->SetVisible(false);

  m_person = std::make_unique<PersonPanel>(*this);
  SetIcon(kIconId);
  RegisterHotKey(kMainHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'O');

  LogNormal(L"init gSubjectList data");

  if (!m_titleShadow) {
    m_titleShadow = std::make_unique<TitleShadowDlg>();
    m_titleShadow->Create(m_hWnd, L"Tavo", WS_POPUP, 0, 0, 0, 0, 0);
    m_titleShadow->ShowWindow(true, false);
  }
  m_downSet = std::make_unique<DownSetPanel>(*this);
  m_downSet->SetDownloads(&m_downloads);
  m_lists = std::make_unique<CourseLists>(*this, *this, m_catalogue);
  // The signed-in student's furthest points, in their course database.
  m_progress = std::make_unique<LearningProgress>(GetDbFolder() + L"course.db");
  m_lists->SetLearningProgress(m_progress.get());
  m_listDownloads = std::make_unique<ListDownloads>(*this, *m_lists, *this, m_downloads);
  m_subjectTree = std::make_unique<SubjectTree>(*this, *m_lists);
  // The banner and the tips of actions that need the school, while the session is offline.
  m_offlineSession = std::make_unique<OfflineSession>(*this, m_offline);
  m_offline.SetRefusalHandler(
      this, [this](const std::string& message) { ReturnToSignIn(L"请重新登录：" + AnsiToWide(message)); });
  m_lists->SetOfflineSession(m_offlineSession.get());
  m_notes = std::make_unique<NotesView>(*this, m_catalogue);
  m_notes->SetOfflineSession(m_offlineSession.get());
  m_listDownloads->SetOfflineSession(m_offlineSession.get());
  // A newly shown class starts without the batch selection of the tab.
  m_subjectTree->SetClassShownHook([this] {
    m_listDownloads->CancelVideoSelect();
    m_listDownloads->CancelDocSelect();
  });
  m_subjectTree->CreateWindow(m_hWnd);
  if (LeftTreeDlg* tree = GetTreeWindow()) tree->ShowWindow(true, false);
  PlaceSatellites(GetWindowRect());
  CreateManagers();

  if (HasCourses()) {
    ShowView(View::Course);
    m_lists->LoadLastPosition();
    m_subjectTree->BuildSubjectTree();
    LogNormal(L"init gSubjectList data end");
  } else {
    ShowView(View::NoLesson);
  }

  SetBadge(TaskKind::Video, m_videoMgr->CountUnfinished());
  SetBadge(TaskKind::Document, m_docMgr->CountUnfinished());

  m_tray.CreateTrayIcon(m_hWnd, kIconId, L"Tavo", 0);
  if (!m_tray.IsCreated()) LogNormal(L"no tray on this desktop: closing the main window ends the program");
  m_titleMenu.Attach(m_pm, m_tray.IsCreated());
  m_downSet->LoadDownSet();
  // With the tasks loaded by the managers and the switches read, the unfinished ones go on.
  m_downloads.ResumeUnfinished();
  // The profile popup asks for the account and the avatar picture at once.
  if (auto* myInfo = FindControlAs<MoveMyInfoButton>(L"btnMyInfo")) myInfo->CreatePopup();
}

void MainDlg::CreateManagers() {
  // Both are rebuilt from the course database and kept hidden until their button opens them.
  m_docMgr = std::make_unique<DownloadDocDlg>(this, m_downloads);
  m_docMgr->Create(m_hWnd, L"Tavo", WS_OVERLAPPEDWINDOW, 0);
  m_videoMgr = std::make_unique<DownloadVideoDlg>(this, m_downloads);
  m_videoMgr->Create(m_hWnd, L"Tavo", WS_OVERLAPPEDWINDOW, 0);
}

DownloadMgrDlg* MainDlg::GetManager(TaskKind kind) {
  if (kind == TaskKind::Video) return m_videoMgr.get();
  if (kind == TaskKind::Document) return m_docMgr.get();
  return nullptr;
}

void MainDlg::OpenManager(TaskKind kind, CControlUI* button) {
  DownloadMgrDlg* manager = GetManager(kind);
  if (manager == nullptr || button == nullptr) return;
  const CDuiRect main = GetWindowRect();
  const CDuiRect at = button->GetPos();
  const int x = main.left + at.left - kManagerLeftOfButton;
  const int y = main.top + at.top + kManagerBelowButton;
  manager->MoveWindow({x, y, x + kManagerWidth, y + kManagerHeight});
  manager->ShowWindow(true, true);
  manager->GetPaintManager().Invalidate();
}

void MainDlg::SetBadge(TaskKind kind, int count) {
  CControlUI* badge = FindControl(kind == TaskKind::Document ? L"lbDocDownCount" : L"lbVideoDownCount");
  if (badge == nullptr) return;
  badge->SetText(std::to_wstring(count));
  badge->SetVisible(count != 0);
}

bool MainDlg::GetSelectedClass(std::string& classId, std::string& className) {
  LeftTreeDlg* tree = GetTreeWindow();
  CTreeNodeUI* node = tree ? tree->GetSelectedNode() : nullptr;
  if (node == nullptr || node->GetUserData().empty()) return false;
  classId = WideToAnsi(node->GetUserData());
  CControlUI* title = node->FindSubControl(L"lbTitle");
  className = title ? WideToAnsi(title->GetText()) : std::string();
  return true;
}

void MainDlg::EnableTree(bool enable) {
  LeftTreeDlg* tree = GetTreeWindow();
  if (CTreeViewUI* view = tree ? tree->GetTree() : nullptr) {
    view->SetMouseEnabled(enable);
    view->SetMouseChildEnabled(enable);
  }
}

bool MainDlg::ChooseDownloadFolder(TaskKind kind, std::int64_t size, std::wstring& folder) {
  return m_downSet && m_downSet->ChooseDownloadFolder(kind, size, folder);
}

void MainDlg::SetFolderDialogOwner(HWND owner) {
  if (m_downSet) m_downSet->SetDialogOwner(owner);
}

void MainDlg::SavePrevDownDir(const std::wstring& folder) {
  if (m_downSet) m_downSet->SavePrevDownDir(folder);
}

void MainDlg::OpenFinished(const DownloadTask& task) {
  if (task.kind == TaskKind::Document)
    OpenDownloadedDocument(task.localFile);
  else
    PlayDownloadedVideo(task);
}

void MainDlg::ShowMainTip(const std::wstring& text) {
  ShowTip(m_hWnd, kExpiredTipDistance, kExpiredTipWidth, text);
}

void MainDlg::ShowDownSetPanel() {
  ShowView(View::DownSet);
  if (m_downSet) m_downSet->LoadDownSet();
}

void MainDlg::LeaveDownSetPanel() {
  if (HasCourses())
    ShowView(View::Course);
  else if (m_optMyQuestions && m_optMyQuestions->IsSelected())
    ShowView(View::Questions);
  else
    ShowView(View::NoLesson);
}

void MainDlg::ShowPersonPanel(const AccountRecord& record) {
  if (m_offlineSession && m_offlineSession->Refuse(OnlineAction::ProfileEdit)) return;
  ShowView(View::Person);
  if (m_person) m_person->Show(record);
}

void MainDlg::LeavePersonPanel() {
  if (m_optMyNotes && m_optMyNotes->IsSelected())
    ShowNotes();
  else
    SelectTab(!(m_optMyQuestions && m_optMyQuestions->IsSelected()));
}

void MainDlg::ShowNotes() {
  if (m_optMyCourse) m_optMyCourse->SetFont(kTabFont);
  if (m_optMyQuestions) m_optMyQuestions->SetFont(kTabFont);
  if (m_optMyNotes) {
    m_optMyNotes->SetFont(kSelectedTabFont);
    if (!m_optMyNotes->IsSelected()) m_optMyNotes->Selected(true, false);
  }
  ShowView(View::Notes);
  if (m_notes) m_notes->Refresh();
}

void MainDlg::ShowView(View view) {
  m_view = view;
  // In the order of View.
  static constexpr const wchar_t* kViewNames[] = {L"course", L"nolesson", L"questions", L"person",
                                                  L"downset", L"notes"};
  static_assert(std::size(kViewNames) == static_cast<size_t>(View::Notes) + 1);
  LogNormal(std::wstring(L"ShowView ") + kViewNames[static_cast<int>(view)]);
  auto show = [](CControlUI* control, bool visible) {
    if (control) control->SetVisible(visible);
  };
  const bool panel = view == View::Person || view == View::DownSet;
  const bool lessonRow = view == View::Course || panel;
  show(m_hLayLesson, lessonRow);
  show(m_vLayNoLesson, view == View::NoLesson);
  show(m_vlQuestions, view == View::Questions);
  show(FindControl(L"vlMyNotes"), view == View::Notes);
  if (view == View::Questions)
    m_questions.OnShown(*this);
  else
    m_questions.OnHidden();
  if (lessonRow) {
    // A panel stands beside the tree, with its back button, only when there are courses.
    const bool courses = HasCourses();
    show(m_vlMain, !panel);
    show(FindControl(L"vlPersonInfo"), view == View::Person);
    show(FindControl(L"vlDownSetInfo"), view == View::DownSet);
    show(m_wLeft, !panel || courses);
    show(FindControl(L"btnPersonInfo"), view == View::Person && courses);
    show(FindControl(L"btnDownSet"), view == View::DownSet && courses);
    // Without the back button the panel's header still names it.
    show(FindControl(L"lbDownSetTitle"), view == View::DownSet && !courses);
  }
  if (LeftTreeDlg* tree = GetTreeWindow()) tree->ShowWindow(lessonRow && HasCourses(), false);
}

void MainDlg::SelectTab(bool courses) {
  if (m_optMyCourse) m_optMyCourse->SetFont(courses ? kSelectedTabFont : kTabFont);
  if (m_optMyQuestions) m_optMyQuestions->SetFont(courses ? kTabFont : kSelectedTabFont);
  if (m_optMyNotes) m_optMyNotes->SetFont(kTabFont);
  if (courses)
    ShowView(HasCourses() ? View::Course : View::NoLesson);
  else
    ShowView(View::Questions);
}

void MainDlg::Notify(TNotifyUI& msg) {
  if (m_person && m_person->HandleNotify(msg)) return;
  if (m_lists && m_lists->HandleNotify(msg)) return;
  if (m_listDownloads && m_listDownloads->HandleNotify(msg)) return;
  if (m_downSet && m_downSet->HandleNotify(msg, [this] { LeaveDownSetPanel(); })) return;
  if (m_subjectTree && m_subjectTree->HandleNotify(msg)) return;
  if (m_titleMenu.HandleNotify(msg, GetWindowRect())) return;
  if (m_notes && m_view == View::Notes && m_notes->HandleNotify(msg)) return;
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (msg.sType == DUI_MSGTYPE_CLICK) {
    if (name == L"closebtn") {
      OnCloseButton();
      return;
    }
    if (name == L"minbtn") {
      SendMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE);
      return;
    }
    if (name == L"maxbtn" || name == L"restorebtn") {
      SendMessage(m_hWnd, WM_SYSCOMMAND, name == L"maxbtn" ? SC_MAXIMIZE : SC_RESTORE);
      SwapMaxRestore(name == L"maxbtn");
      return;
    }
    if (name == L"btnDownloadVideoMgr" || name == L"btnDownloadDocMgr") {
      OpenManager(name == L"btnDownloadVideoMgr" ? TaskKind::Video : TaskKind::Document, msg.pSender);
      return;
    }
    if (name == L"btnDownSet") {
      if (m_vlMain) m_vlMain->SetVisible(true);
      for (const wchar_t* panel : {L"vlPersonInfo", L"vlDownSetInfo"})
        if (CControlUI* c = FindControl(panel)) c->SetVisible(false);
      m_view = View::Course;
      return;
    }
    if (name == L"btnBugLesson") {
      OpenUrl(FromUtf8(GetSiteOrigin()) + L"/course.html");
      return;
    }
  } else if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) {
    if (name == L"optMyCourse" && m_optMyCourse && m_optMyCourse->IsSelected()) SelectTab(true);
    if (name == L"optMyNotes" && m_optMyNotes && m_optMyNotes->IsSelected()) ShowNotes();
    if (name == L"optMyQuestions" && m_optMyQuestions && m_optMyQuestions->IsSelected()) {
      // The question page is the school's web page: offline the course tab stays.
      if (m_offlineSession && m_offlineSession->Refuse(OnlineAction::QuestionPage)) {
        if (m_optMyCourse) m_optMyCourse->Selected(true);
        return;
      }
      SelectTab(false);
    }
  }
  WindowImplBase::Notify(msg);
}

void MainDlg::OnCloseButton() {
  if (!m_tray.IsCreated()) {
    // Nothing could bring a hidden window back: closing it ends the program as "退出" does.
    PostMessage(m_hWnd, WM_CLOSE);
    return;
  }
  ShowMain(false);
}

void MainDlg::ShowMain(bool show) {
  if (show) {
    ShowWindowCmd(SW_SHOW);
    if (!HasCourses() && m_view == View::Course) ShowView(View::NoLesson);
    if (LeftTreeDlg* tree = GetTreeWindow()) tree->ShowWindow(HasCourses() && m_view == View::Course, false);
    if (m_titleShadow) m_titleShadow->ShowWindow(true, false);
  } else {
    if (LeftTreeDlg* tree = GetTreeWindow()) tree->ShowWindow(false, false);
    if (m_titleShadow) m_titleShadow->ShowWindow(false, false);
    ShowWindow(false, false);
  }
}

void MainDlg::SwapMaxRestore(bool zoomed) {
  if (m_maxBtn) m_maxBtn->SetVisible(!zoomed);
  if (m_restoreBtn) m_restoreBtn->SetVisible(zoomed);
}

LRESULT MainDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                                     bool& bHandled) {
  bHandled = true;
  switch (msg) {
    case WM_TRAY_ICON:
      OnTrayIcon(lParam);
      return 0;
    case WM_MENU_CLICK:
      if (auto* cmd = PayloadAs<MenuCmd>(payload)) OnMenuClick(cmd->szName);
      return 0;
    case WM_ACTIVATE_MAIN:
      ActivateMain();
      return 0;
    case WM_HOTKEY:
      if (wParam == kMainHotKeyId) m_questions.ShowDevTools();
      return 0;
    case WM_LESSON_MARK_CLEAR:
      if (auto* mark = PayloadAs<LessonMarkClear>(payload); mark && m_lists)
        m_lists->ClearLessonMark(mark->classId, mark->lessonId);
      return 0;
    case WM_VIDEO_BATCH_DONE:
    case WM_DOC_BATCH_DONE:
      if (m_listDownloads)
        m_listDownloads->OnBatchDone(msg == WM_VIDEO_BATCH_DONE ? TaskKind::Video : TaskKind::Document);
      return 0;
    case WM_AVATAR_READY:
      if (auto* path = PayloadAs<std::string>(payload); path && m_person) m_person->OnAvatarReady(*path);
      return 0;
    case WM_AVATAR_DEFAULT:
      if (m_person) m_person->OnAvatarDefault();
      return 0;
    case WM_DOWNLOAD_RESULT:
      // Avatar pictures; other downloads report to their manager windows.
      bHandled = m_person && m_person->OnDownloadResult(wParam, PayloadAs<DownloadTask>(payload));
      return 0;
    case WM_TREE_WIDTH:
      if (m_wLeft) m_wLeft->SetFixedWidth(static_cast<int>(lParam));
      return 0;
    case WM_MOVING:
      if (auto* rc = PayloadAs<CDuiRect>(payload)) PlaceSatellites(*rc);
      return 0;
    default:
      bHandled = false;
      return 0;
  }
}

void MainDlg::OnTrayIcon(LPARAM mouseMessage) {
  if (mouseMessage == WM_LBUTTONUP) {
    ShowMain(!IsWindowVisible());
  } else if (mouseMessage == WM_RBUTTONUP) {
    OpenTrayMenu();
  }
}

void MainDlg::OpenTrayMenu() {
  if (m_menu) {
    m_menu->DestroyMenu();
    m_menu.reset();
  }
  m_menu = std::make_unique<CMenuWnd>();
  CDuiPoint cursor = GetCursorScreenPos();
  m_menu->Init(nullptr, L"menu.xml", {cursor.x, cursor.y - 50}, &m_pm, nullptr,
               eMenuAlignment_Left | eMenuAlignment_Top);
  m_menu->ResizeMenu();
}

void MainDlg::OnMenuClick(const std::wstring& item) {
  if (item == L"exit") {
    PostMessage(m_hWnd, WM_CLOSE);
  } else if (item == L"about") {
    OpenOrRaiseAboutWindow();
  } else if (item == L"show") {
    ActivateMain();
  }
}

void MainDlg::ActivateMain() {
  if (m_hWnd == kNoWindow) return;
  ShowWindowCmd(SW_SHOWNORMAL);
  if (IsIconic()) ShowWindowCmd(SW_RESTORE);
  ShowMain(true);
  ActivateWindow(m_hWnd, true);
}

LRESULT MainDlg::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  bHandled = true;
  if (wParam == SC_CLOSE) {
    PostMessage(m_hWnd, WM_CLOSE);
    return 0;
  }
  bool wasZoomed = IsZoomed();
  LRESULT result = CWindowWnd::HandleMessage(msg, wParam, lParam, {});
  if (IsZoomed() != wasZoomed) SwapMaxRestore(IsZoomed());
  return result;
}

LRESULT MainDlg::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  if (m_titleShadow) {
    PlaceSatellites(GetWindowRect());
    bHandled = true;
  }
  return 0;
}

void MainDlg::PlaceSatellites(const CDuiRect& rc) {
  if (m_titleShadow) m_titleShadow->MoveWindow({rc.left, rc.top, rc.right, rc.top + kTitleBarHeight});
  if (LeftTreeDlg* tree = GetTreeWindow()) tree->PlaceBeside(rc.left, rc.top, rc.bottom, rc.right);
}

void MainDlg::OnLoginExpired() { ReturnToSignIn(L"登陆失效，重新登陆"); }

void MainDlg::ReturnToSignIn(const std::wstring& tip) {
  // Several classes' fetches may be refused at once: one tip, one sign-out.
  if (m_loginExpired) return;
  m_loginExpired = true;
  // Out of sight (in the tray), the student learns it from the desktop.
  if (!IsWindowVisible()) NotifyLoginExpired();
  // The tip goes over the login frame when there is one: this window is about to close
  // and a tip of its own would go with it before the student could read it.
  LoginBackDlg* frame = GetLoginFrame();
  m_quitOnFinal = false;
  PostMessage(m_hWnd, WM_CLOSE);
  if (frame) {
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
  }
  const int width = tip.size() > 10 ? kExpiredTipWidth * 2 : kExpiredTipWidth;
  ShowTip(frame ? frame->GetHWND() : m_hWnd, kExpiredTipDistance, width, tip);
}

LRESULT MainDlg::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  // An open online player closes first and keeps the program running.
  HWND player = FindWindow(L"videoPlayDlgClass", L"");
  if (player != kNoWindow) {
    SendMessage(player, WM_PLAYER_CLOSE, 1);
    bHandled = true;
    return 0;
  }
  if (m_quitOnFinal && !ConfirmQuit()) {
    bHandled = true;
    return 0;
  }
  CloseSessionWindows();
  ReleaseUserState();
  bHandled = false;  // the default handling destroys the window
  return 0;
}

bool MainDlg::ConfirmQuit() {
  bool running = false;
  for (DownloadState state : {DownloadState::Waiting, DownloadState::Transferring, DownloadState::DiskFull,
                              DownloadState::HeldForNetwork})
    running = running || m_downloads.AnyIn(state);
  if (!running || !m_quitConfirmer) return true;
  ConfirmQuestion question;
  question.title = L"退出Tavo";
  question.text = m_downloads.Conditions().AutoResume()
                      ? L"有下载正在进行。退出后，未完成的下载将在下次启动时继续。确定退出吗？"
                      : L"有下载正在进行。退出后，未完成的下载可在下次启动后继续。确定退出吗？";
  const bool quit = m_quitConfirmer(m_hWnd, question).confirmed;
  LogNormal(quit ? L"quit with downloads running" : L"quit cancelled: downloads running");
  return quit;
}

void MainDlg::CloseSessionWindows() {
  CloseIfOpen(L"lookDocDlgClass", L"");
  CloseIfOpen(L"videoLocalPlayDlgClass", L"Tavo");
  CloseIfOpen(L"aboutDlgClass", L"关于Tavo");
  for (DownloadMgrDlg* manager : {m_videoMgr.get(), m_docMgr.get()})
    if (manager != nullptr && IsWindow(manager->GetHWND())) SendMessage(manager->GetHWND(), WM_CLOSE);
}

void MainDlg::ReleaseUserState() {
  // Each is created again on its next use, for the next account.
  SqUserDB::Release();
  CourseDB::Release();
  m_catalogue.Clear();
  DownloadTaskList::Get().Clear();
  gSubjectList.Clear();
  ClearSessionToken();
  // The next sign-in starts online unless it says otherwise.
  m_offline.SetOffline(false);
}

LRESULT MainDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  m_tray.DeleteTrayIcon();
  if (m_menu) m_menu->DestroyMenu();
  m_titleMenu.Close();
  bHandled = false;
  return 0;
}

void MainDlg::OnFinalMessage(HWND) {
  m_questions.Close();
  CourseDB::Release();
  if (m_quitOnFinal) PostQuitMessage(0);
  if (g_mainDlg == this) g_mainDlg = nullptr;
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}
