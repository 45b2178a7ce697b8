// The login frame opens the main window, which lives in a higher module; the program
// connects the two at start-up through this small link (tests connect a fake).
#pragma once

#include <functional>

struct MainWindowLink {
  // True while a main window exists.
  std::function<bool()> exists;
  // Creates the main window, centres it and shows it.
  std::function<void()> open;
};

void SetMainWindowLink(MainWindowLink link);
const MainWindowLink& GetMainWindowLink();
