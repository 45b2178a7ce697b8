// A button that stays selected; options of one group select one at a time. A change of
// selection sends "selectchanged" from the newly selected option (or from a lone option).
#pragma once

#include "ui/Button.h"

class COptionUI : public CButtonUI {
 public:
  COptionUI() = default;
  ~COptionUI() override;
  std::wstring GetClass() const override { return L"OptionUI"; }
  void* GetInterface(std::wstring_view name) override;

  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  bool Activate() override;
  bool IsSelected() const { return m_bSelected; }
  virtual void Selected(bool selected, bool notify = true);
  const std::wstring& GetGroup() const { return m_sGroupName; }
  void SetGroup(const std::wstring& group);
  // Lets an owning control (a tree node's folder button) follow the selection.
  void SetSelectChangedHook(std::function<void(bool)> hook) { m_selectChangedHook = std::move(hook); }

  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintBkColor(cairo_t* cr) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;

 protected:
  bool m_bSelected = false;
  std::wstring m_sGroupName;
  std::wstring m_sSelectedImage;
  std::wstring m_sSelectedHotImage;
  std::wstring m_sSelectedForeImage;
  DWORD m_dwSelectedTextColor = 0;
  DWORD m_dwSelectedBkColor = 0;
  std::function<void(bool)> m_selectChangedHook;
};
