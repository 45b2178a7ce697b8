// A tree row: indentation, a folder (expand) button, a check box and the item text,
// plus any controls the skin adds: they float, or fill the row from where the item text
// begins (after the indentation and buttons, so they follow the node's level). Child
// nodes are rows of the tree view placed after their parent; collapsing hides them.
#pragma once

#include <memory>
#include <vector>

#include "ui/ListContainerElement.h"

class CCheckBoxUI;
class CHorizontalLayoutUI;
class CLabelUI;
class COptionUI;
class CTreeViewUI;

class CTreeNodeUI : public CListContainerElementUI {
 public:
  CTreeNodeUI();
  ~CTreeNodeUI() override;
  std::wstring GetClass() const override { return L"TreeNodeUI"; }
  void* GetInterface(std::wstring_view name) override;

  // A tree node given to Add becomes a child node; anything else is row content.
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  using CContainerUI::Add;
  bool AddChildNode(CTreeNodeUI* node);
  bool RemoveChildNode(CTreeNodeUI* node);
  // Forgets a child node without touching the tree's rows.
  void UnlinkChild(CTreeNodeUI* node);
  int GetCountChild() const { return static_cast<int>(m_children.size()); }
  CTreeNodeUI* GetChildNode(int index) const;
  bool IsHasChild() const { return !m_children.empty(); }
  CTreeNodeUI* GetParentNode() const { return m_pParentNode; }
  int GetTreeLevel() const { return m_iTreeLevel; }
  // The last node of this node's subtree (itself when it has no children).
  CTreeNodeUI* LastDescendant();

  bool IsExpanded() const { return m_bExpanded; }
  void SetExpanded(bool expanded);
  CTreeViewUI* GetTreeView() const { return m_pTreeView; }
  void SetTreeView(CTreeViewUI* tree);
  // Hands the nodes created before this node joined a tree to that tree.
  void MovePendingChildrenTo(CTreeViewUI* tree);

  CCheckBoxUI* GetFolderButton() const { return m_pFolderButton; }
  CCheckBoxUI* GetCheckBox() const { return m_pCheckBox; }
  COptionUI* GetItemButton() const { return m_pItemButton; }
  CHorizontalLayoutUI* GetTreeNodeHoriznotal() const { return m_pHoriz; }
  void SetItemText(const std::wstring& text);
  std::wstring GetItemText() const;
  void SetVisibleFolderBtn(bool visible);
  void SetVisibleCheckBtn(bool visible);
  bool IsCheckBoxSelected() const;
  void SetCheckBoxSelected(bool selected);

  void SetVisible(bool visible = true) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

 private:
  void UpdateIndent();
  void SetTreeLevel(int level);
  // Shows or hides the subtree below this node following the expansion states.
  void ApplyChildVisibility();

  CHorizontalLayoutUI* m_pHoriz = nullptr;
  CLabelUI* m_pDottedLine = nullptr;
  CCheckBoxUI* m_pFolderButton = nullptr;
  CCheckBoxUI* m_pCheckBox = nullptr;
  COptionUI* m_pItemButton = nullptr;
  CTreeNodeUI* m_pParentNode = nullptr;
  CTreeViewUI* m_pTreeView = nullptr;
  std::vector<CTreeNodeUI*> m_children;
  std::vector<std::unique_ptr<CTreeNodeUI>> m_pending;  // children while not in a tree
  int m_iTreeLevel = 0;
  bool m_bExpanded = true;
};
