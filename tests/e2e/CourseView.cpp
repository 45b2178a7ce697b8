// Signing in from the login window to a drawn lesson list.
#include "CourseView.h"

#include <chrono>
#include <thread>

namespace e2e {

using namespace std::chrono_literals;

bool CourseView::SignIn(TavoRun& run, const std::string& user, const std::string& password, int rows,
                        std::string& error) {
  return OpenMainWindow(run, user, password, error) && WaitForLessonList(rows, error);
}

bool CourseView::OpenMainWindow(TavoRun& run, const std::string& user, const std::string& password,
                                std::string& error) {
  run = m_session.Launch();
  if (!SubmitLoginForm(user, password, error)) {
    error += "\noutput:\n" + m_session.Output(run);
    return false;
  }
  return true;
}

bool CourseView::SignInOnLoginWindow(const std::string& user, const std::string& password, int rows,
                                     std::string& error) {
  return SubmitLoginForm(user, password, error) && WaitForLessonList(rows, error);
}

bool CourseView::SignInBySmsOnLoginWindow(const std::string& mobile, const std::string& code, int rows,
                                          std::string& error) {
  const std::string login = m_session.WaitForWindow("loginBackDlgClass", 60s);
  if (login.empty()) {
    error = "no login window";
    return false;
  }
  const Rect form = LoginFormRect(m_session.Geometry(login).value_or(Rect{}));
  // The orange line under the selected tab: the password tab's once the form is drawn,
  // the SMS tab's once it is chosen and while no request covers the form.
  const Rect passwordTab{form.x + 87, form.y + 70, 36, 2};
  const Rect smsTab{form.x + 237, form.y + 70, 36, 2};
  if (!m_session.WaitForColour(passwordTab, kAccent, 50, 60s) &&
      !m_session.WaitForColour(smsTab, kAccent, 50, 1s)) {
    error = "the login form was not drawn";
    return false;
  }
  // Shown again after a sign-out without a window manager, the frame gets the keyboard
  // only as a window manager would give it.
  m_session.Focus(login);
  m_session.ClickAndLeave(form.x + 255, form.y + 50);
  if (!m_session.WaitForColour(smsTab, kAccent, 50, 20s)) {
    error = "the SMS tab did not open";
    return false;
  }
  m_session.Click(form.x + 190, form.y + 132);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type(mobile);
  const size_t asked = m_session.DemoRequests().size();
  m_session.ClickAndLeave(form.x + 287, form.y + 196);  // "getSmsCode"
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (m_session.DemoRequests().find("sendCaptcha2", asked) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) {
      error = "no SMS code asked for";
      return false;
    }
    std::this_thread::sleep_for(100ms);
  }
  if (!m_session.WaitForColour(smsTab, kAccent, 50, 30s)) {
    error = "the form stayed busy";
    return false;
  }
  m_session.Click(form.x + 150, form.y + 196);
  m_session.Type(code);
  m_session.ClickAndLeave(form.x + 180, form.y + 322);
  const std::string main = m_session.WaitForWindow("mainDlgClass", 60s);
  if (main.empty()) {
    error = "no main window; log:\n" + m_session.BrowserLog();
    return false;
  }
  m_frame = m_session.Geometry(main).value_or(Rect{});
  return WaitForLessonList(rows, error);
}

bool CourseView::SignOut(std::string& error) {
  // The title bar's avatar button (36 x 36, 232 pixels from the right, 18 down) opens the
  // popup (267 x 178, 211 pixels left of the button, 22 below it) on hover; its third
  // action is "退出".
  const Rect avatar{m_frame.x + m_frame.width - 232, m_frame.y + 18, 36, 36};
  const Rect popup{avatar.x - 211, avatar.y + 22, 267, 178};
  const Rect actions{popup.x + 7, popup.y + 68, 253, 96};
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  for (int step = 1;; ++step) {
    // A move out and in again makes a fresh enter when the first one was missed.
    if (step % 10 == 0) m_session.MoveTo(1919, 1079);
    m_session.MoveTo(avatar.x + 18, avatar.y + 18);
    if (E2eSession::CountPixelsNear(m_session.Screenshot("e2e-sign-out-popup.png"), actions,
                                    {0x4D, 0x4D, 0x4D}, 40) >= 60)
      break;
    if (std::chrono::steady_clock::now() > deadline) {
      error = "the profile popup did not open (see e2e-sign-out-popup.png)";
      return false;
    }
    std::this_thread::sleep_for(200ms);
  }
  m_session.ClickAndLeave(popup.x + 80, popup.y + 84 + 64);
  if (!m_session.WaitForNoWindow("mainDlgClass", 20s)) {
    error = "the main window stayed after 退出";
    return false;
  }
  return true;
}

bool CourseView::SubmitLoginForm(const std::string& user, const std::string& password, std::string& error) {
  const std::string login = m_session.WaitForWindow("loginBackDlgClass", 60s);
  if (login.empty()) {
    error = "no login window";
    return false;
  }
  const Rect form = LoginFormRect(m_session.Geometry(login).value_or(Rect{}));
  // The orange line under the selected tab shows once the form is drawn and idle. Back
  // after an SMS sign-in the form shows the SMS tab: the password tab is chosen first.
  const Rect passwordTab{form.x + 87, form.y + 70, 36, 2};
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!m_session.WaitForColour(passwordTab, kAccent, 50, 1s)) {
    if (std::chrono::steady_clock::now() > deadline) {
      error = "the login form was not drawn";
      return false;
    }
    if (m_session.WaitForColour({form.x + 237, form.y + 70, 36, 2}, kAccent, 50, 0s)) {
      m_session.Focus(login);
      m_session.ClickAndLeave(form.x + 105, form.y + 50);
    }
  }
  m_session.Click(form.x + 190, form.y + 132);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type(user);
  m_session.Click(form.x + 150, form.y + 196);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type(password);
  m_session.Click(form.x + 180, form.y + 322);

  const std::string main = m_session.WaitForWindow("mainDlgClass", 60s);
  if (main.empty()) {
    error = "no main window; log:\n" + m_session.BrowserLog();
    return false;
  }
  m_frame = m_session.Geometry(main).value_or(Rect{});
  return true;
}

bool CourseView::StartSignedIn(TavoRun& run, int rows, std::string& error) {
  // The earlier sign-in's password is remembered in a keyring only.
  if (!m_session.NoKeyring().empty()) {
    error = "no keyring for the remembered password: " + m_session.NoKeyring();
    return false;
  }
  run = m_session.Launch();
  return WaitForLessonList(rows, error);
}

bool CourseView::WaitForLessonList(int rows, std::string& error) {
  const std::string main = m_session.WaitForWindow("mainDlgClass", 60s);
  if (main.empty()) {
    error = "no main window; log:\n" + m_session.BrowserLog();
    return false;
  }
  m_frame = m_session.Geometry(main).value_or(Rect{});
  // The last row's play disc shows once the lesson list is filled and drawn.
  if (!m_session.WaitForColour(PlayCell(rows - 1), kAccent, 100, 60s)) {
    m_session.Screenshot("e2e-course-view-not-drawn.png");
    error =
        "the lesson list was not drawn (see e2e-course-view-not-drawn.png); log:\n" + m_session.BrowserLog();
    return false;
  }
  return true;
}

}  // namespace e2e
