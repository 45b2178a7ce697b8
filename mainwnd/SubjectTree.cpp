// The subject tree and the content tabs.
#include "mainwnd/SubjectTree.h"

#include "app/Log.h"
#include "mainwnd/CourseLists.h"
#include "service/Records.h"
#include "ui/CheckBox.h"
#include "ui/Label.h"
#include "ui/Option.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr int kTallRow = 60;
constexpr int kShortRow = 44;
constexpr wchar_t kTitleIdle[] = L"textcolor=\"#FF4D4D4D\"";
constexpr wchar_t kTitleCurrent[] = L"textcolor=\"#FFFFFFFF\"";
constexpr wchar_t kDownloadButton[] =
    L"textpadding=\"34,0,0,0\" normalimage=\"file='icon_download.png' dest='0,18,24,42'\" "
    L"hotimage=\"file='icon_download_hot.png' dest='0,18,24,42'\" ";

void Show(CControlUI* control, bool visible) {
  if (control) control->SetVisible(visible);
}

}  // namespace

SubjectTree::SubjectTree(WindowImplBase& main, CourseLists& lists) : m_main(main), m_lists(lists) {
  m_lists.Catalogue().AddObserver(*this);
}

SubjectTree::~SubjectTree() { m_lists.Catalogue().RemoveObserver(*this); }

void SubjectTree::CreateWindow(HWND owner) {
  if (m_window) return;
  m_window = std::make_unique<LeftTreeDlg>(*this);
  if (m_window->Create(owner, L"Tavo", WS_POPUP, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the subject tree window could not be created");
    m_window.reset();
  }
}

CTreeNodeUI* SubjectTree::MakeNode(NodeKind kind, bool hasChildren, const std::string& name,
                                   const std::string& classId) {
  const bool folder = (kind == NodeKind::Exam || kind == NodeKind::Package) && hasChildren;
  std::unique_ptr<CControlUI> built =
      (folder ? m_folderPrototype : m_leafPrototype).Create(&m_window->GetPaintManager());
  std::unique_ptr<CTreeNodeUI> node(dynamic_cast<CTreeNodeUI*>(built.get()));
  if (node) {
    built.release();
  } else {
    node = std::make_unique<CTreeNodeUI>();
  }
  auto* title = dynamic_cast<CLabelUI*>(node->FindSubControl(L"lbTitle"));
  if (!title) {
    auto label = std::make_unique<CLabelUI>();
    label->SetName(L"lbTitle");
    title = label.get();
    node->Add(label.release());
  }
  const std::wstring text = FromUtf8(name);
  switch (kind) {
    case NodeKind::Exam:
      node->SetFixedHeight(kTallRow);
      title->ApplyAttributeList(L"textcolor=\"#FF4D4D4D\" height=\"60\" font=\"6\" endellipsis=\"true\"");
      break;
    case NodeKind::Package:
      node->SetFixedHeight(kShortRow);
      title->ApplyAttributeList(L"textcolor=\"#FF4D4D4D\" height=\"44\" font=\"5\" endellipsis=\"true\"");
      break;
    case NodeKind::PackageClass:
      node->SetFixedHeight(kShortRow);
      node->ApplyAttributeList(L"inset=\"-7,0,0,0\"");
      title->ApplyAttributeList(L"textcolor=\"#FF4D4D4D\" height=\"44\" font=\"0\" endellipsis=\"true\"");
      break;
    case NodeKind::TopLeaf:
      node->SetFixedHeight(kTallRow);
      node->ApplyAttributeList(L"inset=\"8,0,0,0\"");
      title->ApplyAttributeList(L"textcolor=\"#FF4D4D4D\" height=\"60\" font=\"6\" endellipsis=\"true\"");
      break;
  }
  title->SetText(text);
  title->SetToolTip(text);
  if (CControlUI* folderButton = node->GetFolderButton()) folderButton->SetName(L"treeFolder");
  node->SetUserData(FromUtf8(classId));
  return node.release();
}

void SubjectTree::AddLeaf(CTreeNodeUI* parent, NodeKind kind, const std::string& id,
                          const std::string& name) {
  CTreeNodeUI* leaf = MakeNode(kind, false, name, id);
  if (parent)
    parent->Add(leaf);
  else
    m_window->AddNode(leaf);
  if (!m_firstLeaf) m_firstLeaf = leaf;
  const std::string& wanted = m_keepClassId.empty() ? m_lists.LastClassId() : m_keepClassId;
  if (!id.empty() && id == wanted) {
    m_lastMatched = true;
    m_window->SelectNode(leaf);
  }
}

void SubjectTree::BuildSubjectTree() {
  if (!m_window || m_built) return;
  m_built = true;
  // std::map keeps the exams in ascending id.
  for (const auto& [examId, packages] : gSubjectList.PackagesByExam) {
    auto examName = gSubjectList.ExamNames.find(examId);
    CTreeNodeUI* exam =
        MakeNode(NodeKind::Exam, !packages.empty(),
                 examName == gSubjectList.ExamNames.end() ? std::string() : examName->second, "");
    m_window->AddNode(exam);
    for (const GroupPackageRecord& package : packages) {
      CTreeNodeUI* node = MakeNode(NodeKind::Package, !package.classes.empty(), package.name, "");
      exam->Add(node);
      for (const SubjectEntry& subject : package.classes)
        for (const ClassRecord& cls : subject.classes)
          AddLeaf(node, NodeKind::PackageClass, cls.id, cls.name);
    }
  }
  for (const SinglePackageRecord& single : gSubjectList.SinglePackages)
    AddLeaf(nullptr, NodeKind::TopLeaf, single.id, single.name);
  for (const ClassRecord& cls : gSubjectList.Classes) AddLeaf(nullptr, NodeKind::TopLeaf, cls.id, cls.name);
  if (!m_lastMatched && m_firstLeaf) m_window->SelectNode(m_firstLeaf);
  int rows = 0;
  if (CTreeViewUI* tree = m_window->GetTree()) rows = tree->GetRowCount();
  LogNormal(L"BuildSubjectTree rows:" + std::to_wstring(rows) + L" class:" + FromUtf8(m_currentClassId));
}

void SubjectTree::RebuildSubjectTree() {
  // A tree never built is built from the new list when the window first shows one.
  if (!m_window || !m_built || !m_window->GetTree()) return;
  m_keepClassId = m_currentClassId.empty() ? m_lists.LastClassId() : m_currentClassId;
  // The nodes go with the rows: nothing may point at them afterwards.
  m_currentNode = nullptr;
  m_firstLeaf = nullptr;
  m_lastMatched = false;
  m_window->GetTree()->RemoveAll();
  m_built = false;
  BuildSubjectTree();
  m_keepClassId.clear();
}

void SubjectTree::Restyle(CTreeNodeUI* node, bool current) {
  if (!node) return;
  CControlUI* title = node->FindSubControl(L"lbTitle");
  if (!title) return;
  title->ApplyAttributeList(current ? kTitleCurrent : kTitleIdle);
  if (node->GetFixedHeight() == kShortRow) title->ApplyAttributeList(current ? L"font=\"5\"" : L"font=\"0\"");
}

void SubjectTree::ShowClass(CTreeNodeUI* node) {
  if (!node || !m_window) return;
  if (node->GetUserData().empty()) {
    // An exam or package node: the class shown stays, and so does its highlight.
    m_window->SelectNode(m_currentNode);
    return;
  }
  Restyle(m_currentNode, false);
  Restyle(node, true);
  m_currentNode = node;
  m_currentClassId = ToUtf8(node->GetUserData());
  LogNormal(L"ShowClass classid:" + node->GetUserData());
  m_lists.ShowLessonList(m_currentClassId);
  m_lists.ShowDocList(m_currentClassId);
  ResetDownloadBars();
  if (m_classShown) m_classShown();
}

void SubjectTree::ResetDownloadBars() {
  auto* lessonTab = m_main.FindControlAs<COptionUI>(L"optVideoList");
  auto* docTab = m_main.FindControlAs<COptionUI>(L"optJiangYiList");
  auto* allVideo = m_main.FindControlAs<COptionUI>(L"optDownloadAllVideo");
  auto* allDoc = m_main.FindControlAs<COptionUI>(L"optDownloadAllDoc");
  CControlUI* downloadVideo = m_main.FindControl(L"btnDownloadVideo");
  CControlUI* downloadDoc = m_main.FindControl(L"btnDownloadDoc");
  // The other tab's batch selection is put away; its download button is ready again.
  if (lessonTab && lessonTab->IsSelected()) {
    Show(m_main.FindControl(L"hLayDownDoc"), false);
    Show(allDoc, false);
    if (allDoc) allDoc->Selected(false, false);
    Show(downloadDoc, true);
    if (downloadDoc) downloadDoc->SetEnabled(true);
  } else if (docTab && docTab->IsSelected()) {
    Show(m_main.FindControl(L"hLayDownVideo"), false);
    Show(allVideo, false);
    if (allVideo) allVideo->Selected(false, false);
    Show(downloadVideo, true);
    if (downloadVideo) downloadVideo->SetEnabled(true);
  }
  for (CControlUI* button : {downloadVideo, downloadDoc}) {
    if (!button) continue;
    button->SetFixedWidth(60);
    button->ApplyAttributeList(kDownloadButton);
  }
  Show(m_main.FindControl(L"btnDownVideoCancel"), false);
  Show(m_main.FindControl(L"btnDownDocCancel"), false);
}

void SubjectTree::ShowContentTab(bool lessons) {
  Show(m_main.FindControl(L"optVideoListLine"), lessons);
  Show(m_main.FindControl(L"optJiangYiListLine"), !lessons);
  Show(m_main.FindControl(L"vlMainVideoList"), lessons);
  Show(m_main.FindControl(L"vlMainJyList"), !lessons);
  Show(m_main.FindControl(L"hLayDownVideo"), lessons);
  Show(m_main.FindControl(L"hLayDownDoc"), !lessons);
  CTreeNodeUI* selected = m_window ? m_window->GetSelectedNode() : nullptr;
  if (!selected || selected->GetUserData().empty()) return;
  m_currentClassId = ToUtf8(selected->GetUserData());
  if (lessons)
    m_lists.ShowLessonList(m_currentClassId);
  else
    m_lists.ShowDocList(m_currentClassId);
}

bool SubjectTree::HandleNotify(TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_SELECTCHANGED || !msg.pSender) return false;
  const std::wstring& name = msg.pSender->GetName();
  if (name != L"optVideoList" && name != L"optJiangYiList") return false;
  auto* tab = dynamic_cast<COptionUI*>(msg.pSender);
  if (tab && tab->IsSelected()) ShowContentTab(name == L"optVideoList");
  return true;
}
