// The subject tree window: a borderless layer of the main window beside its body, holding
// the tree of exams, packages and classes. Only its right edge resizes it (248..375 px);
// every new width is posted to the owner (WM_TREE_WIDTH) so the body keeps room for it.
// What a selection means belongs to the delegate (the subject tree of the main window).
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class CTreeNodeUI;
class CTreeViewUI;

class LeftTreeDlg : public WindowImplBase {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The class leaf shown now (null before the first one).
    virtual CTreeNodeUI* GetCurrentNode() const = 0;
    // The tree selected `node` (any kind).
    virtual void ShowClass(CTreeNodeUI* node) = 0;
  };

  static constexpr int kMinWidth = 248;
  static constexpr int kMaxWidth = 375;
  // Where the tree sits relative to the owner's top-left corner.
  static constexpr int kLeftOffset = 1;
  static constexpr int kTopOffset = 76;

  explicit LeftTreeDlg(Delegate& delegate) : m_delegate(delegate) {}
  std::wstring GetWindowClassName() const override { return L"leftTreeDlgClass"; }

  CTreeViewUI* GetTree() const { return m_tree; }
  // The node at the tree's selection, or null.
  CTreeNodeUI* GetSelectedNode() const;
  // Adds a node at the tree's top level.
  void AddNode(CTreeNodeUI* node);
  // Selects `node` (null or a hidden node leaves the tree without selection).
  void SelectNode(CTreeNodeUI* node);
  // Moves the window to (x + 1, y + 76), down to `bottom` - 1, at the width the student
  // chose (375 until they drag the edge), narrowed where the owner (up to `right`) would
  // otherwise leave its body less than kBodyMinWidth.
  void PlaceBeside(int x, int y, int bottom, int right);
  static constexpr int kBodyMinWidth = 776;

  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return L"left_tree_dlg.xml"; }
  void InitWindow() override;
  LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  bool OnHostKey(const HostKeyEvent& event) override;
  // The tree is one stop of the main window's Tab order.
  bool SharesOwnerTabOrder() const override { return true; }

 private:
  void ReselectCurrent();

  Delegate& m_delegate;
  CTreeViewUI* m_tree = nullptr;
  int m_preferredWidth = kMaxWidth;
  int m_placedWidth = 0;
  // While a key is handled: the selection moves by keyboard.
  bool m_byKey = false;
};
