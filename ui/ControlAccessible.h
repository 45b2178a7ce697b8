// The accessible node of one control (created on first use, owned by the control): the
// role follows the control's class, the name its text (else its hint or tooltip), the id
// its skin name. Containers that only lay out are flattened: their children appear as
// children of the nearest accessible ancestor. Invisible controls are left out.
#pragma once

#include <string>
#include <vector>

#include "platform/host/AccessibleNativeHost.h"
#include "platform/host/AccessibleNode.h"

class CControlUI;

class CControlAccessible : public AccessibleNode, public AccessibleNativeHost {
 public:
  explicit CControlAccessible(CControlUI* control) : m_control(control) {}

  // The role a control gets; Unknown for controls left out, Panel for layouts that are
  // flattened (a skin's accrole attribute comes first).
  static AccRole RoleOf(CControlUI* control);
  static bool IsFlattened(CControlUI* control);
  // Tells assistive technology about a change of `control` (only when a sink listens;
  // a control nobody asked about yet gets no node for state, name and text changes).
  static void Report(CControlUI* control, AccEvent event);
  // Children added to or removed from `container`, or a child shown or hidden.
  static void ReportChildren(CControlUI* container);

  AccRole Role() const override { return RoleOf(m_control); }
  std::string Name() const override;
  std::string Id() const override;
  unsigned States() const override;
  HostRect Extents() const override;
  HostWindow* Window() const override;
  AccessibleNode* Parent() const override;
  std::vector<AccessibleNode*> Children() const override;
  bool GrabFocus() override;
  void* NativeWidget() const override;

  std::vector<std::string> Actions() const override;
  bool DoAction(int index) override;

  bool HasText() const override;
  std::string Text() const override;
  bool SetText(const std::string& utf8) override;
  int Caret() const override;
  bool SetCaret(int offset) override;

  bool HasValue() const override;
  double Value() const override;
  double MinValue() const override;
  double MaxValue() const override;
  bool SetValue(double value) override;

 private:
  CControlUI* m_control;
};

// The role a skin names in accrole="..." (Unknown when the word is not known).
AccRole ParseAccRole(std::wstring_view word);
