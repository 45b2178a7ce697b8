// CDialogBuilder on pugixml.
#include "ui/DialogBuilder.h"

#include <algorithm>
#include <functional>
#include <map>
#include <pugixml.hpp>
#include <vector>

#include "app/Log.h"
#include "ui/AttrParse.h"
#include "ui/Button.h"
#include "ui/CheckBox.h"
#include "ui/Combo.h"
#include "ui/Container.h"
#include "ui/Edit.h"
#include "ui/GifAnim.h"
#include "ui/HorizontalLayout.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/ListHeader.h"
#include "ui/ListHeaderItem.h"
#include "ui/ListLabelElement.h"
#include "ui/MenuWnd.h"
#include "ui/NativeView.h"
#include "ui/Option.h"
#include "ui/PaintManager.h"
#include "ui/Progress.h"
#include "ui/ResourceStore.h"
#include "ui/TabLayout.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"
#include "ui/VerticalLayout.h"

namespace {

constexpr int kMaxDepth = 128;

class LineIndex {
 public:
  explicit LineIndex(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') m_breaks.push_back(static_cast<ptrdiff_t>(i));
  }
  int LineOf(ptrdiff_t offset) const {
    return static_cast<int>(std::lower_bound(m_breaks.begin(), m_breaks.end(), offset) - m_breaks.begin()) +
           1;
  }

 private:
  std::vector<ptrdiff_t> m_breaks;
};

template <class T>
std::unique_ptr<CControlUI> Make() {
  return std::make_unique<T>();
}

std::unique_ptr<CControlUI> MakeMenu() {
  auto menu = std::make_unique<CVerticalLayoutUI>();
  menu->ApplyAttributeList(
      L"accrole=\"menu\" bkcolor=\"#FFFFFFFF\" bordercolor=\"#FFDDDDDD\" bordersize=\"1\" inset=\"1,4,1,4\"");
  return menu;
}

std::unique_ptr<CControlUI> MakeRichEdit() {
  auto edit = std::make_unique<CEditUI>();
  edit->SetMultiLine(true);
  return edit;
}

}  // namespace

std::unique_ptr<CControlUI> CDialogBuilder::CreateControlByTag(const std::wstring& tag) {
  static const std::map<std::wstring, std::function<std::unique_ptr<CControlUI>()>> kFactories = {
      {L"Control", Make<CControlUI>},
      {L"Container", Make<CContainerUI>},
      {L"VerticalLayout", Make<CVerticalLayoutUI>},
      {L"HorizontalLayout", Make<CHorizontalLayoutUI>},
      {L"TabLayout", Make<CTabLayoutUI>},
      {L"Label", Make<CLabelUI>},
      {L"Text", Make<CLabelUI>},
      {L"Button", Make<CButtonUI>},
      {L"Option", Make<COptionUI>},
      {L"CheckBox", Make<CCheckBoxUI>},
      {L"Edit", Make<CEditUI>},
      {L"RichEdit", MakeRichEdit},
      {L"Combo", Make<CComboUI>},
      {L"Progress", Make<CProgressUI>},
      {L"List", Make<CListUI>},
      {L"ListHeader", Make<CListHeaderUI>},
      {L"ListHeaderItem", Make<CListHeaderItemUI>},
      {L"ListContainerElement", Make<CListContainerElementUI>},
      {L"ListLabelElement", Make<CListLabelElementUI>},
      {L"TreeView", Make<CTreeViewUI>},
      {L"TreeNode", Make<CTreeNodeUI>},
      {L"GifAnim", Make<CGifAnimUI>},
      {L"NativeView", Make<CNativeViewUI>},
      {L"Menu", MakeMenu},
      {L"MenuElement", Make<CMenuElementUI>},
  };
  auto it = kFactories.find(tag);
  if (it == kFactories.end()) return nullptr;
  return it->second();
}

std::unique_ptr<CControlUI> CDialogBuilder::Create(const std::wstring& skinFile,
                                                   IDialogBuilderCallback* callback,
                                                   CPaintManagerUI* manager) {
  std::string xml;
  if (!CResourceStore::Get().ReadFile(ToUtf8(skinFile), xml)) {
    CControlUI::ReportProblem(L"skin file missing: " + skinFile);
    m_problems = 1;
    return nullptr;
  }
  return CreateFromXml(xml, skinFile, callback, manager);
}

std::unique_ptr<CControlUI> CDialogBuilder::CreateFromXml(const std::string& xml,
                                                          const std::wstring& fileName,
                                                          IDialogBuilderCallback* callback,
                                                          CPaintManagerUI* manager) {
  if (m_depth == 0) m_problems = 0;
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  LineIndex lines(xml);
  auto report = [&](ptrdiff_t offset, const std::wstring& what) {
    ++m_problems;
    CControlUI::ReportProblem(L"skin: " + fileName + L":" + std::to_wstring(lines.LineOf(offset)) + L": " +
                              what);
  };
  if (!parsed) {
    report(parsed.offset, L"not well-formed XML: " + FromUtf8(parsed.description()));
    return nullptr;
  }
  // Attribute problems found by the controls go through the report too.
  int* problems = &m_problems;
  auto applyAttrs = [&](CControlUI* control, const pugi::xml_node& node) {
    for (const pugi::xml_attribute& a : node.attributes()) {
      CControlUI::SetReportContext(fileName + L":" + std::to_wstring(lines.LineOf(node.offset_debug())));
      if (!control->SetAttribute(FromUtf8(a.name()), FromUtf8(a.value()))) ++*problems;
    }
    CControlUI::SetReportContext({});
  };

  std::function<std::unique_ptr<CControlUI>(const pugi::xml_node&, CControlUI*)> build =
      [&](const pugi::xml_node& node, CControlUI* parent) -> std::unique_ptr<CControlUI> {
    std::wstring tag = FromUtf8(node.name());
    // Real skins nest a few dozen levels; a runaway file must not exhaust the stack.
    int level = 0;
    for (CControlUI* p = parent; p; p = p->GetParent()) ++level;
    if (level > kMaxDepth) {
      report(node.offset_debug(),
             L"controls nested deeper than " + std::to_wstring(kMaxDepth) + L" are ignored");
      return nullptr;
    }
    if (tag == L"Include") {
      std::wstring source = FromUtf8(node.attribute("source").value());
      ++m_depth;
      std::unique_ptr<CControlUI> included = m_depth < 8 ? Create(source, callback, manager) : nullptr;
      --m_depth;
      if (!included) report(node.offset_debug(), L"cannot include \"" + source + L"\"");
      return included;
    }
    std::unique_ptr<CControlUI> control = CreateControlByTag(tag);
    if (!control && callback) control = callback->CreateControl(tag);
    if (!control) {
      report(node.offset_debug(), L"unknown tag <" + tag + L">");
      return nullptr;
    }
    control->SetManager(manager, parent, false);
    if (manager) {
      if (const std::wstring* defaults = manager->GetDefaultAttributeList(tag))
        control->ApplyAttributeList(*defaults);
    }
    applyAttrs(control.get(), node);
    for (const pugi::xml_node& childNode : node.children()) {
      if (childNode.type() != pugi::node_element) continue;
      std::unique_ptr<CControlUI> child = build(childNode, control.get());
      if (!child) continue;
      auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
      auto* combo = static_cast<CComboUI*>(control->GetInterface(L"Combo"));
      if (combo)
        combo->Add(child.release());
      else if (container)
        container->Add(child.release());
      else
        report(childNode.offset_debug(), L"<" + tag + L"> cannot hold child controls");
    }
    return control;
  };

  pugi::xml_node root = doc.document_element();
  if (FromUtf8(root.name()) != L"Window") return build(root, nullptr);

  std::unique_ptr<CControlUI> result;
  for (const pugi::xml_attribute& a : root.attributes()) {
    if (manager && !manager->SetWindowAttribute(FromUtf8(a.name()), FromUtf8(a.value()))) {
      report(root.offset_debug(),
             L"<Window> ignores " + FromUtf8(a.name()) + L"=\"" + FromUtf8(a.value()) + L"\"");
    }
  }
  for (const pugi::xml_node& node : root.children()) {
    if (node.type() != pugi::node_element) continue;
    std::string name = node.name();
    if (name == "Font") {
      int id = node.attribute("id").as_int(-1);
      if (manager) {
        manager->AddFont(id, FromUtf8(node.attribute("name").value()), node.attribute("size").as_int(12),
                         node.attribute("bold").as_bool(), node.attribute("underline").as_bool(),
                         node.attribute("italic").as_bool(), node.attribute("default").as_bool());
      }
    } else if (name == "Default") {
      if (manager)
        manager->AddDefaultAttributeList(FromUtf8(node.attribute("name").value()),
                                         FromUtf8(node.attribute("value").value()));
    } else if (name == "Style") {
      if (manager)
        manager->AddStyle(FromUtf8(node.attribute("name").value()),
                          FromUtf8(node.attribute("value").value()));
    } else if (name == "Image") {
      // Pictures are loaded on first use.
    } else if (!result) {
      result = build(node, nullptr);
    } else {
      report(node.offset_debug(), L"a second root control is ignored");
    }
  }
  return result;
}
