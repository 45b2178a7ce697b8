// The course view's navigation: builds the subject tree from the catalogue (exams in
// ascending id, their group packages and classes, then single packages and classes),
// keeps the class shown now (currentNode, currentClassId), and switches the content tabs
// "课件目录" / "课程讲义". The lists themselves belong to CourseLists. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "mainwnd/LeftTreeDlg.h"
#include "study/CourseCatalogue.h"
#include "ui/ControlPrototype.h"

class CourseLists;
class WindowImplBase;

class SubjectTree : public LeftTreeDlg::Delegate, private CatalogueObserver {
 public:
  // `main` holds the tabs, the list holders and the download tool bars.
  SubjectTree(WindowImplBase& main, CourseLists& lists);
  ~SubjectTree() override;
  SubjectTree(const SubjectTree&) = delete;
  SubjectTree& operator=(const SubjectTree&) = delete;

  // Creates the tree window (a layer of `owner`) unless it exists.
  void CreateWindow(HWND owner);
  LeftTreeDlg* GetWindow() const { return m_window.get(); }

  // Fills the tree from gSubjectList once and selects the last class (from the lists'
  // last position; the last matching leaf wins), else the first leaf.
  void BuildSubjectTree();
  // Builds a tree that was built again from gSubjectList (the school gave a new one), with
  // the class shown now still selected when it is in the new tree, else the first leaf.
  void RebuildSubjectTree();

  // LeftTreeDlg::Delegate
  CTreeNodeUI* GetCurrentNode() const override { return m_currentNode; }
  // Shows the class of a leaf; an exam or package node sends the selection back.
  void ShowClass(CTreeNodeUI* node) override;

  const std::string& GetCurrentClassId() const { return m_currentClassId; }
  // Runs after a class was shown (the main window leaves the tab's batch selection).
  void SetClassShownHook(std::function<void()> hook) { m_classShown = std::move(hook); }

  // The content tabs ("selectchanged" of "optVideoList" / "optJiangYiList"). True when handled.
  bool HandleNotify(TNotifyUI& msg);

 private:
  enum class NodeKind { Exam, Package, PackageClass, TopLeaf };
  // A node of `kind` from its skin file, titled `name`, carrying `classId` (leaves only).
  CTreeNodeUI* MakeNode(NodeKind kind, bool hasChildren, const std::string& name, const std::string& classId);
  // Leaves are selected as they are created when they hold the last class.
  void AddLeaf(CTreeNodeUI* parent, NodeKind kind, const std::string& id, const std::string& name);
  void ShowContentTab(bool lessons);
  void ResetDownloadBars();
  void Restyle(CTreeNodeUI* node, bool current);
  void OnSubjectsRefreshed(const SubjectsRefreshed&) override { RebuildSubjectTree(); }

  WindowImplBase& m_main;
  CourseLists& m_lists;
  std::unique_ptr<LeftTreeDlg> m_window;
  // Nodes with children and leaves, each skin file read once.
  CControlPrototype m_folderPrototype{L"treeitem.xml"};
  CControlPrototype m_leafPrototype{L"gp_treeitem.xml"};
  CTreeNodeUI* m_currentNode = nullptr;
  std::string m_currentClassId;
  CTreeNodeUI* m_firstLeaf = nullptr;
  bool m_lastMatched = false;
  bool m_built = false;
  // While a rebuild runs: the class to select instead of the lists' last position.
  std::string m_keepClassId;
  std::function<void()> m_classShown;
};
