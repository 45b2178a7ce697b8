// Shared fixture of the toolkit tests: a message core, the test host, a temporary skin
// folder, and a window built from an XML text that records its notifications.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "ui/Control.h"
#include "ui/PaintManager.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

class RecordingWnd : public WindowImplBase {
 public:
  RecordingWnd(std::wstring skin, std::wstring className = L"recordingWndClass")
      : m_skin(std::move(skin)), m_class(std::move(className)) {}
  std::wstring GetWindowClassName() const override { return m_class; }
  std::wstring GetSkinFile() override { return m_skin; }
  void Notify(TNotifyUI& msg) override {
    if (msg.sType != DUI_MSGTYPE_MOUSEENTER && msg.sType != DUI_MSGTYPE_MOUSELEAVE &&
        msg.sType != DUI_MSGTYPE_SETFOCUS && msg.sType != DUI_MSGTYPE_KILLFOCUS &&
        msg.sType != DUI_MSGTYPE_WINDOWINIT && msg.sType != DUI_MSGTYPE_SCROLL) {
      events.push_back(ToUtf8(msg.sType) + ":" +
                       (msg.pSender ? ToUtf8(msg.pSender->GetName()) : std::string()));
    }
    WindowImplBase::Notify(msg);
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override {
    if (msg == WM_TIMER) timers.push_back(static_cast<UINT>(wParam));
    if (onMessage) return onMessage(msg, wParam, lParam, payload, bHandled);
    bHandled = false;
    return 0;
  }
  TestHostWindow* Host() const { return static_cast<TestHostWindow*>(m_host.get()); }
  HostWindow* AnyHost() const { return m_host.get(); }
  CPaintManagerUI& PM() { return m_pm; }

  std::vector<std::string> events;
  std::vector<UINT> timers;
  std::function<LRESULT(UINT, WPARAM, LPARAM, const Payload&, bool&)> onMessage;

 private:
  std::wstring m_skin;
  std::wstring m_class;
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    auto host = std::make_unique<TestHost>();
    testHost = host.get();
    SetHost(std::move(host));
    dir = std::filesystem::temp_directory_path() /
          ("tavo-ui-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    CResourceStore::Get().SetFolder(dir.string());
    CControlUI::SetBadAttributeSink([this](const std::wstring& text) { problems.push_back(ToUtf8(text)); });
  }
  void TearDown() override {
    CControlUI::SetBadAttributeSink(nullptr);
    ShutdownMessageCore();
    std::filesystem::remove_all(dir);
  }
  void WriteSkin(const std::string& name, const std::string& xml) {
    std::ofstream(dir / name, std::ios::binary) << xml;
  }
  // A window of `size` from a skin whose body is `controls`.
  std::unique_ptr<RecordingWnd> MakeWindow(const std::string& controls,
                                           const std::string& window = "size=\"400,300\"",
                                           HWND owner = kNoWindow) {
    WriteSkin("w.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window " + window +
                           ">\n<Font id=\"0\" size=\"14\"/>\n" + controls + "\n</Window>\n");
    auto wnd = std::make_unique<RecordingWnd>(L"w.xml");
    wnd->Create(owner, L"Tavo", WS_POPUP, 0);
    wnd->ShowWindow(true);
    wnd->PM().DoLayout();
    return wnd;
  }
  static CDuiRect PosOf(RecordingWnd& w, const std::wstring& name) {
    CControlUI* c = w.FindControl(name);
    EXPECT_NE(c, nullptr) << ToUtf8(name);
    return c ? c->GetPos() : CDuiRect{};
  }
  static CDuiPoint Center(const CDuiRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
  void ClickOn(RecordingWnd& w, const std::wstring& name) {
    CDuiPoint p = Center(PosOf(w, name));
    w.Host()->Click(p.x, p.y);
  }

  TestHost* testHost = nullptr;
  std::filesystem::path dir;
  std::vector<std::string> problems;
};
