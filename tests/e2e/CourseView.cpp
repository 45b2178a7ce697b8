// Signing in from the login window to a drawn lesson list.
#include "CourseView.h"

#include <chrono>

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

bool CourseView::SubmitLoginForm(const std::string& user, const std::string& password, std::string& error) {
  const std::string login = m_session.WaitForWindow("loginBackDlgClass", 60s);
  if (login.empty()) {
    error = "no login window";
    return false;
  }
  const Rect form = LoginFormRect(m_session.Geometry(login).value_or(Rect{}));
  // The orange line under the selected tab shows once the form is drawn and idle.
  if (!m_session.WaitForColour({form.x + 87, form.y + 70, 36, 2}, kAccent, 50, 60s)) {
    error = "the login form was not drawn";
    return false;
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
