// What the login windows ask of the program above them: the main window once a sign-in
// succeeded, and the offline session when the school cannot be reached. The program
// hands one in at start-up; tests hand in a recording fake.
#pragma once

#include <string>

class LoginDelegate {
 public:
  virtual ~LoginDelegate() = default;
  // True while a main window exists.
  virtual bool MainWindowExists() const = 0;
  // Creates the main window, centres it and shows it (or brings it to the front).
  virtual void ShowMainWindow() = 0;
  // The school could not be reached and the account may start offline: the session runs
  // from what this computer kept and catches up with these credentials once the school
  // can be reached again. Called before the main window opens.
  virtual void StartOffline(const std::string& account, const std::string& password) = 0;
};
