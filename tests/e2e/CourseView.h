// The main window's course view seen from outside: signing in up to the first class's
// lesson list and where the parts of a lesson row sit on the screen. The positions follow
// the main window's skin (72-pixel title, 16-pixel margins, the 60-pixel content bar) and
// the lesson list's columns (from the right: play 120, download 138, progress 160), for a
// list without a vertical scroll bar.
#pragma once

#include <string>

#include "E2eSession.h"

namespace e2e {

// The accent orange of the program (#FF854D): tab lines, the row's play disc, OK buttons.
inline constexpr Rgb kAccent{0xFF, 0x85, 0x4D};

class CourseView {
 public:
  explicit CourseView(E2eSession& session) : m_session(session) {}

  // Starts tavo, signs in with the password and waits until the main window shows the
  // first class's lesson list with `rows` rows drawn. False with the reason in `error`.
  bool SignIn(TavoRun& run, const std::string& user, const std::string& password, int rows,
              std::string& error);
  // Signs in on the login window on the screen (its fields are emptied first: after a
  // sign-out they may hold the last account) and waits for the lesson list as above.
  bool SignInOnLoginWindow(const std::string& user, const std::string& password, int rows,
                           std::string& error);
  // Signs in by SMS on the login window on the screen: its SMS tab, the mobile number (the
  // field emptied first), "获取验证码", the code, then waits for the lesson list as above.
  bool SignInBySmsOnLoginWindow(const std::string& mobile, const std::string& code, int rows,
                                std::string& error);
  // "退出" of the title bar's profile popup; true once the main window is gone.
  bool SignOut(std::string& error);
  // Starts tavo and signs in with the password up to the main window, whatever its
  // lesson list then shows. False with the reason in `error`.
  bool OpenMainWindow(TavoRun& run, const std::string& user, const std::string& password, std::string& error);
  // Starts tavo again after a sign-in that saved the password with automatic sign-in (the
  // login form's defaults) and waits for the same lesson list.
  bool StartSignedIn(TavoRun& run, int rows, std::string& error);

  const Rect& frame() const { return m_frame; }

  // Screen points of lesson row `row` (0 = the first) and of the tool bar.
  int RowCentreY(int row) const { return m_frame.y + 227 + 60 * row; }
  int DownloadX() const { return m_frame.x + m_frame.width - 217; }
  int PlayX() const { return m_frame.x + m_frame.width - 88; }
  Rect DownloadCell(int row) const {
    return {m_frame.x + m_frame.width - 286, RowCentreY(row) - 30, 138, 60};
  }
  Rect ProgressCell(int row) const {
    return {m_frame.x + m_frame.width - 446, RowCentreY(row) - 30, 160, 60};
  }
  // The marker column (80 wide, left of duration and progress): "正在观看", "上一次观看".
  Rect MarkerCell(int row) const { return {m_frame.x + m_frame.width - 686, RowCentreY(row) - 30, 80, 60}; }
  Rect PlayCell(int row) const { return {m_frame.x + m_frame.width - 98, RowCentreY(row) - 10, 20, 20}; }
  // "btnDownloadVideoMgr" of the lesson tab's tool bar.
  int VideoManagerX() const { return m_frame.x + m_frame.width - 84; }
  // The video tab's batch tool bar, right to left: the manager button (96), a gap (20),
  // "下载" (60, or 26 in the select mode), "取消" (52) and "全选" (64, its box first).
  int BatchDownloadX(bool selectMode) const { return m_frame.x + m_frame.width - (selectMode ? 165 : 182); }
  int SelectAllX() const { return m_frame.x + m_frame.width - 282; }
  Rect SelectAllText() const { return {m_frame.x + m_frame.width - 266, ToolBarY() - 10, 36, 20}; }
  int ToolBarY() const { return m_frame.y + 118; }

  // The location dialog (623 x 320) and the manager windows (360 x 638) are layers of the
  // main window, not windows of their own on the X server: where they are drawn. The
  // dialog is centred over the course area right of the 375-pixel tree; a manager window
  // opens 252 pixels left of its button's left edge and 19 below the tool bar's top.
  Rect LocationDialog() const {
    return {m_frame.x + 375 + (m_frame.width - 375 - 623) / 2,
            m_frame.y + 72 + (m_frame.height - 72 - 320) / 2, 623, 320};
  }
  Rect VideoManager() const { return {m_frame.x + m_frame.width - 384, m_frame.y + 107, 360, 638}; }

 private:
  // Fills the login window's form (emptied first) and submits it; true once the main window shows.
  bool SubmitLoginForm(const std::string& user, const std::string& password, std::string& error);
  bool WaitForLessonList(int rows, std::string& error);

  E2eSession& m_session;
  Rect m_frame;
};

}  // namespace e2e
