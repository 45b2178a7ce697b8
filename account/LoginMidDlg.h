// The welcome panel behind the sign-in form: a greeting and an illustration.
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class LoginMidDlg : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"loginMidDlgClass"; }

 protected:
  std::wstring GetSkinFile() override { return L"login_mid.xml"; }
};
