// An empty transparent strip that draws a soft shadow under a window's title bar; its
// owner creates it as a layer and keeps it at its title bar (and deletes it).
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class TitleShadowDlg : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"titleShadowDlgClass"; }

 protected:
  std::wstring GetSkinFile() override { return L"title_shadow_dlg.xml"; }
};
