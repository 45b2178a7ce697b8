// The quiet "离线模式" banner in the main window's title bar, saying what cannot work
// while the school is out of reach. It only shows what the session's state says.
#pragma once

class CPaintManagerUI;

class OfflineBanner {
 public:
  explicit OfflineBanner(CPaintManagerUI& paintManager) : m_pm(paintManager) {}
  void Show(bool offline);
  bool IsShown() const;

 private:
  CPaintManagerUI& m_pm;
};
