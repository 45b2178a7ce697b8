// A control that owns a native child widget (a GtkWidget* on the display host, e.g. a
// browser view) placed over the control's rectangle, below the window's layers. The
// widget follows the control's position and visibility after every layout.
#pragma once

#include "ui/Control.h"

class CNativeViewUI : public CControlUI {
 public:
  CNativeViewUI() = default;
  ~CNativeViewUI() override;
  std::wstring GetClass() const override { return L"NativeViewUI"; }
  void* GetInterface(std::wstring_view name) override;

  // Hands the widget to the window; null takes it away. The caller keeps its own
  // reference to the widget (the host only parents it).
  void SetNativeWidget(void* widget);
  void* GetNativeWidget() const { return m_widget; }
  // Moves, sizes, shows or hides the widget to match the control.
  void UpdateNativePlacement();

  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void ShiftPos(int dx, int dy) override {
    CControlUI::ShiftPos(dx, dy);
    UpdateNativePlacement();
  }
  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;

 private:
  void Attach();
  void DetachWidget();

  void* m_widget = nullptr;
  CPaintManagerUI* m_attachedTo = nullptr;
  int m_childId = 0;
};
