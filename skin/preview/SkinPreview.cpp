// tavo-skin-preview SKIN.xml OUT.png [WIDTH HEIGHT]: renders a skin on the test host so it
// can be looked at without running the program. SKIN.xml is a path on disk (its pictures
// are looked up beside it first, then in the program's skin) or a file of the skin zip.
// Problems of the skin are printed on stderr; they are not fatal.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "skin/LoadSkin.h"
#include "ui/Control.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

namespace {

class PreviewWnd : public WindowImplBase {
 public:
  explicit PreviewWnd(std::wstring skin) : m_skin(std::move(skin)) {}
  std::wstring GetWindowClassName() const override { return L"skinPreviewClass"; }
  std::wstring GetSkinFile() override { return m_skin; }
  // Unknown tags become plain controls so the rest of the skin still shows.
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override {
    std::fprintf(stderr, "skin: custom tag <%s> shown as a plain control\n", ToUtf8(tag).c_str());
    return std::make_unique<CControlUI>();
  }
  TestHostWindow* Host() const { return static_cast<TestHostWindow*>(m_host.get()); }
  CPaintManagerUI& PM() { return m_pm; }

 private:
  std::wstring m_skin;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: %s SKIN.xml OUT.png [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  InitMessageCore();
  SetHost(std::make_unique<TestHost>());
  LoadSkin();
  std::filesystem::path skin = argv[1];
  std::wstring name = FromUtf8(skin.filename().string());
  if (std::filesystem::exists(skin)) {
    CResourceStore::Get().SetFolder(std::filesystem::absolute(skin).parent_path().string());
  } else {
    name = FromUtf8(argv[1]);
  }
  int problems = 0;
  CControlUI::SetBadAttributeSink([&problems](const std::wstring& text) {
    ++problems;
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
  });
  PreviewWnd wnd(name);
  if (!wnd.Create(kNoWindow, L"Tavo", WS_POPUP, 0)) return 1;
  if (argc == 5) {
    int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
    if (w <= 0 || h <= 0 || w > 10000 || h > 10000) {
      std::fprintf(stderr, "bad size %s x %s\n", argv[3], argv[4]);
      return 2;
    }
    wnd.MoveWindow({0, 0, w, h});
  }
  wnd.ShowWindow(true);
  if (!wnd.Host()->SavePng(argv[2])) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(stderr, "%s: %d problem(s)\n", argv[1], problems);
  return 0;
}
