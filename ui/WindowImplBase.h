// The base of every window of the program: builds the control tree from the skin file
// named by GetSkinFile, asks CreateControl for tags the toolkit does not know, calls
// InitWindow, and delivers control notifications to Notify. The caption band drags the
// window, the size box resizes it, and the buttons named "closebtn", "minbtn", "maxbtn"
// and "restorebtn" work without code in the window.
#pragma once

#include <memory>

#include "ui/DialogBuilder.h"
#include "ui/PaintManager.h"
#include "ui/WindowWnd.h"

class WindowImplBase : public CWindowWnd, public INotifyUI, public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  CPaintManagerUI& GetPaintManager() { return m_pm; }
  AccessibleNode* AccessibleRoot() override;
  CControlUI* FindControl(const std::wstring& name) const { return m_pm.FindControl(name); }
  template <class T>
  T* FindControlAs(const std::wstring& name) const {
    return dynamic_cast<T*>(m_pm.FindControl(name));
  }

  void Notify(TNotifyUI& msg) override;
  std::unique_ptr<CControlUI> CreateControl(const std::wstring&) override { return nullptr; }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) override;

 protected:
  virtual std::wstring GetSkinFile() = 0;
  virtual std::wstring GetSkinFolder() { return L""; }
  virtual void InitWindow() {}
  // The program's own messages; set bHandled to stop the default handling.
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                                      bool& bHandled);
  LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  virtual LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  // lParam holds the point in window coordinates (x low word, y high word); the answer
  // is HTCLIENT, HTCAPTION or an edge code.
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual void OnClick(TNotifyUI& msg);
  // A layer that returns true is part of its owner's Tab order: Tab from the owner's last
  // stop enters it, and Tab from its last stop goes on in the owner (or the next such layer).
  virtual bool SharesOwnerTabOrder() const { return false; }

  void OnHostPaint(cairo_t* cr, const HostRect& dirty) override;
  void OnHostSize(int width, int height) override;
  void OnHostMouse(const HostMouseEvent& event) override;
  bool OnHostKey(const HostKeyEvent& event) override;
  void OnHostText(const std::string& utf8) override;
  void OnHostPreedit(const std::string& utf8, int cursor) override;
  void OnHostFocus(bool focused) override;
  void OnHostStateChanged() override;

  CPaintManagerUI m_pm;

 private:
  // Hands the keyboard to the next window of this window's Tab order; false when there is
  // none with a stop (Tab then wraps inside this window).
  bool PassTabToNeighbour(bool forward);
  // A layer has no native frame to resize: dragging its size box resizes it here, kept
  // within the skin's "mininfo"/"maxinfo" (a zero there leaves that side unbounded).
  void BeginLayerResize(const HostMouseEvent& event, HostEdge edge);
  // True while the drag takes the event.
  bool TrackLayerResize(const HostMouseEvent& event);
  struct LayerDrag {
    bool active = false;
    HostEdge edge = HostEdge::East;
    int pressX = 0;  // screen coordinates of the press
    int pressY = 0;
    CDuiRect start;
  } m_layerDrag;
};
