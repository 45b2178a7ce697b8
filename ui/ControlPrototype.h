// A control tree read from a skin file once and made again as often as asked: rows of long
// lists and trees would otherwise read, parse and convert the same file for every row.
// Main thread only.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CControlUI;
class CPaintManagerUI;

class CControlPrototype {
 public:
  explicit CControlPrototype(std::wstring skinFile);
  ~CControlPrototype();
  CControlPrototype(const CControlPrototype&) = delete;
  CControlPrototype& operator=(const CControlPrototype&) = delete;

  // A new tree as CDialogBuilder::Create(skinFile, nullptr, manager) makes it; null when
  // the file is missing or holds no control (reported by the builder).
  std::unique_ptr<CControlUI> Create(CPaintManagerUI* manager);

 private:
  struct Node {
    std::wstring tag;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::vector<Node> children;
  };
  // Reads the file into m_root; false for what the recipe does not hold (a window, an
  // include), which the builder then makes every time.
  bool Load();
  static std::unique_ptr<CControlUI> Make(const Node& node, CControlUI* parent, CPaintManagerUI* manager);

  std::wstring m_skinFile;
  std::unique_ptr<Node> m_root;
  bool m_tried = false;
};
