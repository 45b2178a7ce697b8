// Builds a control tree from a skin file of the skin archive (or an XML text): the
// <Window> attributes, <Font>, <Default> and <Style> tables go to the paint manager, the
// control tags become controls; tags the toolkit does not know are offered to the
// callback. Unknown tags and attributes are reported with file and line, never fatal.
#pragma once

#include <memory>
#include <string>

class CControlUI;
class CPaintManagerUI;

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A control for a tag the toolkit does not know, or null.
  virtual std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) = 0;
};

class CDialogBuilder {
 public:
  // Null when the file is missing or is no XML (logged).
  std::unique_ptr<CControlUI> Create(const std::wstring& skinFile, IDialogBuilderCallback* callback = nullptr,
                                     CPaintManagerUI* manager = nullptr);
  std::unique_ptr<CControlUI> CreateFromXml(const std::string& xml, const std::wstring& fileName,
                                            IDialogBuilderCallback* callback = nullptr,
                                            CPaintManagerUI* manager = nullptr);
  // A new control of the toolkit for a tag ("Button", "VerticalLayout", ...), or null.
  static std::unique_ptr<CControlUI> CreateControlByTag(const std::wstring& tag);
  // How many problems the last Create reported.
  int GetProblemCount() const { return m_problems; }

 private:
  int m_problems = 0;
  int m_depth = 0;
};
