// The login frame opens the main window, which lives in a higher module; the program
// connects the two at start-up through this small link (tests connect a fake).
#pragma once

#include <functional>
#include <string>

struct MainWindowLink {
  // True while a main window exists.
  std::function<bool()> exists;
  // Creates the main window, centres it and shows it.
  std::function<void()> open;
};

void SetMainWindowLink(MainWindowLink link);
const MainWindowLink& GetMainWindowLink();

// The school could not be reached and the account may start offline: the session runs from
// what this computer kept and catches up with these credentials once the school can be
// reached again. The login form calls it before the main window opens; the program
// connects it at start-up (tests connect a fake or nothing).
using OfflineStartLink = std::function<void(const std::string& account, const std::string& password)>;
void SetOfflineStartLink(OfflineStartLink link);
const OfflineStartLink& GetOfflineStartLink();
