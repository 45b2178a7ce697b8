// CControlPrototype: the skin file's element tree kept as texts, made into controls.
#include "ui/ControlPrototype.h"

#include <pugixml.hpp>

#include "ui/Combo.h"
#include "ui/Container.h"
#include "ui/DialogBuilder.h"
#include "ui/PaintManager.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"

namespace {

constexpr int kMaxDepth = 64;

}  // namespace

CControlPrototype::CControlPrototype(std::wstring skinFile) : m_skinFile(std::move(skinFile)) {}

CControlPrototype::~CControlPrototype() = default;

bool CControlPrototype::Load() {
  std::string xml;
  if (!CResourceStore::Get().ReadFile(ToUtf8(m_skinFile), xml)) return false;
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
  bool plain = true;
  auto read = [&plain](auto& self, const pugi::xml_node& element, Node& into, int depth) -> void {
    into.tag = FromUtf8(element.name());
    if (into.tag == L"Window" || into.tag == L"Include" || depth > kMaxDepth) plain = false;
    for (const pugi::xml_attribute& a : element.attributes())
      into.attributes.emplace_back(FromUtf8(a.name()), FromUtf8(a.value()));
    for (const pugi::xml_node& child : element.children()) {
      if (child.type() != pugi::node_element) continue;
      into.children.emplace_back();
      self(self, child, into.children.back(), depth + 1);
    }
  };
  auto root = std::make_unique<Node>();
  read(read, doc.document_element(), *root, 0);
  if (!plain) return false;
  m_root = std::move(root);
  return true;
}

std::unique_ptr<CControlUI> CControlPrototype::Make(const Node& node, CControlUI* parent,
                                                    CPaintManagerUI* manager) {
  std::unique_ptr<CControlUI> control = CDialogBuilder::CreateControlByTag(node.tag);
  if (!control) return nullptr;
  control->SetManager(manager, parent, false);
  if (manager) {
    if (const std::wstring* defaults = manager->GetDefaultAttributeList(node.tag))
      control->ApplyAttributeList(*defaults);
  }
  for (const auto& [name, value] : node.attributes) control->SetAttribute(name, value);
  for (const Node& childNode : node.children) {
    std::unique_ptr<CControlUI> child = Make(childNode, control.get(), manager);
    if (!child) continue;
    if (auto* combo = static_cast<CComboUI*>(control->GetInterface(L"Combo")))
      combo->Add(child.release());
    else if (auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container")))
      container->Add(child.release());
  }
  return control;
}

std::unique_ptr<CControlUI> CControlPrototype::Create(CPaintManagerUI* manager) {
  if (!m_tried) {
    m_tried = true;
    // The builder makes the first tree, so a faulty file is reported once with its lines;
    // only a file it reads without a problem becomes the recipe.
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> first = builder.Create(m_skinFile, nullptr, manager);
    if (first && builder.GetProblemCount() == 0) Load();
    return first;
  }
  if (!m_root) {
    CDialogBuilder builder;
    return builder.Create(m_skinFile, nullptr, manager);
  }
  return Make(*m_root, nullptr, manager);
}
