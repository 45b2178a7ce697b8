// A tree: a list whose rows are tree nodes. Selection sends "itemselect" like a list; a
// double click on a node sends "treeitemdbclick" with the node as sender.
#pragma once

#include "ui/List.h"

class CTreeNodeUI;

class CTreeViewUI : public CListUI {
 public:
  CTreeViewUI();
  std::wstring GetClass() const override { return L"TreeViewUI"; }
  void* GetInterface(std::wstring_view name) override;

  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  using CContainerUI::Add;
  // Inserts a child node of `parent` after the parent's subtree.
  bool InsertChildNode(CTreeNodeUI* parent, CTreeNodeUI* node);

  bool IsVisibleFolderBtn() const { return m_bVisibleFolderBtn; }
  bool IsVisibleCheckBtn() const { return m_bVisibleCheckBtn; }
  void SetVisibleFolderBtn(bool visible);
  void SetVisibleCheckBtn(bool visible);
  int GetIndent() const { return m_iIndent; }

  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

 private:
  void AdoptNode(CTreeNodeUI* node);

  bool m_bVisibleFolderBtn = true;
  bool m_bVisibleCheckBtn = false;
  int m_iIndent = 16;
};
