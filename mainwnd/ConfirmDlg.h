// A small modal question before a step that cannot be taken back (deleting downloads,
// quitting while they run): a title, the question, an optional choice with its box, cancel
// and OK. Tests answer through a Confirmer instead of the window.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

struct ConfirmQuestion {
  std::wstring title;
  std::wstring text;
  std::wstring choice;         // the box's text; empty: no box
  bool choiceChecked = false;  // how the box starts
};

struct ConfirmAnswer {
  bool confirmed = false;
  bool choiceChecked = false;  // the box when OK was pressed
};

// Asks a question over `owner`; the default shows ConfirmDlg centred over it.
using Confirmer = std::function<ConfirmAnswer(HWND owner, const ConfirmQuestion& question)>;
ConfirmAnswer AskWithConfirmDlg(HWND owner, const ConfirmQuestion& question);

class ConfirmDlg : public WindowImplBase {
 public:
  explicit ConfirmDlg(ConfirmQuestion question) : m_question(std::move(question)) {}
  std::wstring GetWindowClassName() const override { return L"ConfirmDlgClass"; }
  bool ChoiceChecked() const { return m_checked; }

  static constexpr int kWidth = 420;
  static constexpr int kHeight = 220;

 protected:
  std::wstring GetSkinFile() override { return L"confirm_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;

 private:
  ConfirmQuestion m_question;
  bool m_checked = false;
};
