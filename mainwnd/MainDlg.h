// The main window: the course browser opened after sign-in. This is its frame: identity,
// title bar and window buttons, the tray icon and its menu, activation by a second start,
// the close path that releases the signed-in user's state, and the title shadow that
// follows the window. The body switches between views; the subject tree (SubjectTree,
// LeftTreeDlg), the course lists (CourseLists) and the question page (QuestionView) are
// units of their own that this frame creates and wires together.
#pragma once

#include <memory>
#include <string>

#include "mainwnd/DownloadMgrDlg.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/DownSetPanel.h"
#include "mainwnd/ListDownloads.h"
#include "mainwnd/NotesView.h"
#include "mainwnd/OfflineSession.h"
#include "mainwnd/PersonPanel.h"
#include "mainwnd/QuestionView.h"
#include "mainwnd/TitleMenu.h"
#include "ui/MenuWnd.h"
#include "ui/TrayIcon.h"
#include "ui/WindowImplBase.h"

class COptionUI;
class LeftTreeDlg;
class OfflineState;
class SubjectTree;

// Alt+Ctrl+Shift+O: developer tools of the question page.
constexpr int kMainHotKeyId = 1027;

class MainDlg : public WindowImplBase,
                public CourseLists::Delegate,
                public ListDownloads::Delegate,
                public DownloadMgrDelegate {
 public:
  // The downloads and the catalogue the main window shows: the program's, or its own when
  // none are given.
  explicit MainDlg(DownloadCenter* downloads = nullptr, CourseCatalogue* catalogue = nullptr,
                   OfflineState* offline = nullptr);
  ~MainDlg() override;
  std::wstring GetWindowClassName() const override { return L"mainDlgClass"; }

  // True (the default): the final destruction ends the program. False: only the window
  // goes (sign-out, expired login).
  void SetQuitOnFinal(bool quit) { m_quitOnFinal = quit; }
  bool GetQuitOnFinal() const { return m_quitOnFinal; }
  // How quitting while downloads run is confirmed; the default asks with ConfirmDlg.
  void SetQuitConfirmer(Confirmer confirmer) { m_quitConfirmer = std::move(confirmer); }

  enum class View { Course, NoLesson, Questions, Person, DownSet, Notes };
  void ShowView(View view);
  View GetView() const { return m_view; }

  // Satellites and tray, for the windows that report back to the main window.
  CWindowWnd* GetTitleShadow() const { return m_titleShadow.get(); }
  bool HasTray() const { return m_tray.IsCreated(); }
  LeftTreeDlg* GetTreeWindow() const;
  SubjectTree* GetSubjectTree() const { return m_subjectTree.get(); }
  CourseLists* GetCourseLists() const { return m_lists.get(); }
  const QuestionView& GetQuestionView() const { return m_questions; }
  NotesView* GetNotesView() const { return m_notes.get(); }
  // The "我的笔记" tab: the notes read again and shown.
  void ShowNotes();
  ListDownloads* GetListDownloads() const { return m_listDownloads.get(); }
  DownloadCenter& GetDownloads() const { return m_downloads; }
  DownSetPanel* GetDownSetPanel() const { return m_downSet.get(); }
  DownloadMgrDlg* GetManager(TaskKind kind) override;

  // Switches to the download settings panel and fills it from the stored record.
  void ShowDownSetPanel();
  // Where a new download goes, and the folder of the last accepted one (the settings).
  bool ChooseDownloadFolder(TaskKind kind, std::int64_t size, std::wstring& folder) override;
  void SetFolderDialogOwner(HWND owner) override;
  void SavePrevDownDir(const std::wstring& folder) override;
  // The unfinished-download badge on the kind's manager button: shown when not 0.
  void SetBadge(TaskKind kind, int count) override;
  PersonPanel* GetPersonPanel() const { return m_person.get(); }
  // The profile panel, filled from the record; leaving goes back to the selected tab's view.
  void ShowPersonPanel(const AccountRecord& record);
  void LeavePersonPanel();

  void Notify(TNotifyUI& msg) override;
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

  // CourseLists::Delegate: the service refused the session; a tip, then back to sign-in.
  void OnLoginExpired() override;
  // Back to the sign-in windows with `tip` over them (the school refused the credentials
  // an offline session tried to catch up with). Downloads and kept progress stay on disk.
  void ReturnToSignIn(const std::wstring& tip);
  const OfflineSession* GetOfflineSession() const { return m_offlineSession.get(); }

  // ListDownloads::Delegate
  bool GetSelectedClass(std::string& classId, std::string& className) override;
  void EnableTree(bool enable) override;

  // DownloadMgrDelegate
  void OnUnfinishedCount(TaskKind kind, int count) override { SetBadge(kind, count); }
  void OpenFinished(const DownloadTask& task) override;
  void ShowMainTip(const std::wstring& text) override;

 protected:
  std::wstring GetSkinFile() override { return L"main_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void OnCloseButton();
  void OnTrayIcon(LPARAM mouseMessage);
  void OpenTrayMenu();
  void OnMenuClick(const std::wstring& item);
  void ActivateMain();
  // Shows or hides the window with its satellites.
  void ShowMain(bool show);
  void SelectTab(bool courses);
  void SwapMaxRestore(bool zoomed);
  void PlaceSatellites(const CDuiRect& rc);
  void CreateManagers();
  // Opens the kind's manager window under its tool bar button.
  void OpenManager(TaskKind kind, CControlUI* button);
  // Back from the settings panel after a save.
  void LeaveDownSetPanel();
  // Closes the windows that belong to the signed-in session and forgets the user's state.
  void CloseSessionWindows();
  void ReleaseUserState();
  void ShowSidePanel(const std::wstring& holder);

  bool m_quitOnFinal = true;
  Confirmer m_quitConfirmer = &AskWithConfirmDlg;
  // Whether the program may end now: asks first while downloads run or wait.
  bool ConfirmQuit();
  bool m_loginExpired = false;
  View m_view = View::NoLesson;
  CTrayIcon m_tray;
  std::unique_ptr<CMenuWnd> m_menu;
  TitleMenu m_titleMenu;
  std::unique_ptr<WindowImplBase> m_titleShadow;
  std::unique_ptr<LearningProgress> m_progress;
  std::unique_ptr<CourseLists> m_lists;
  std::unique_ptr<SubjectTree> m_subjectTree;
  QuestionView m_questions;
  std::unique_ptr<DownSetPanel> m_downSet;
  std::unique_ptr<DownloadCenter> m_ownDownloads;
  DownloadCenter& m_downloads;
  std::unique_ptr<CourseCatalogue> m_ownCatalogue;
  CourseCatalogue& m_catalogue;
  std::unique_ptr<ListDownloads> m_listDownloads;
  std::unique_ptr<DownloadMgrDlg> m_videoMgr;
  std::unique_ptr<DownloadMgrDlg> m_docMgr;
  std::unique_ptr<PersonPanel> m_person;
  std::unique_ptr<NotesView> m_notes;
  std::unique_ptr<OfflineState> m_ownOffline;
  OfflineState& m_offline;
  std::unique_ptr<OfflineSession> m_offlineSession;

  CControlUI* m_closeBtn = nullptr;
  CControlUI* m_maxBtn = nullptr;
  CControlUI* m_restoreBtn = nullptr;
  COptionUI* m_optMyCourse = nullptr;
  COptionUI* m_optMyQuestions = nullptr;
  COptionUI* m_optMyNotes = nullptr;
  CControlUI* m_hLayLesson = nullptr;
  CControlUI* m_vLayNoLesson = nullptr;
  CControlUI* m_vlQuestions = nullptr;
  CControlUI* m_vlMain = nullptr;
  CControlUI* m_wLeft = nullptr;
};

// True when the signed-in student bought anything (a group package, a single package or
// a class).
bool HasCourses();

// The one main window, or null (the global main window pointer).
MainDlg* GetMainDlg();
// Creates the main window (centred, shown) over `downloads` (its own centre when null) or,
// when it exists, brings it to the front.
MainDlg* OpenMainWindow(DownloadCenter* downloads = nullptr, CourseCatalogue* catalogue = nullptr,
                        OfflineState* offline = nullptr);
