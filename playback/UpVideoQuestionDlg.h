// The question window: the student picks one of six problem kinds, describes the problem
// and sends it. The video pauses while the window is open (1070) and plays again when it
// closes (1071). The answer shows for one second over the busy picture; success closes
// the window, failure returns to the form with its contents.
#pragma once

#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class UpVideoQuestionDlg : public WindowImplBase {
 public:
  UpVideoQuestionDlg(std::string classId, std::string lessonId)
      : m_classId(std::move(classId)), m_lessonId(std::move(lessonId)) {}
  std::wstring GetWindowClassName() const override { return L"upVideoQuestionDlgClass"; }
  HostKind GetHostKind() const override { return HostKind::Dialog; }

  const std::string& GetClassId() const { return m_classId; }
  const std::string& GetLessonId() const { return m_lessonId; }
  // The type text of the first selected kind ("1".."6"), empty for none.
  std::string SelectedType() const;

  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return L"up_video_question_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void SetSubmitEnabled(bool enabled);
  void Submit();
  void ShowResult(const std::wstring& text, UINT nextTimer);
  void BackToForm();
  void TellPlayer(UINT message);

  std::string m_classId;
  std::string m_lessonId;
  CControlUI* m_close = nullptr;
  CControlUI* m_edit = nullptr;
  CControlUI* m_submit = nullptr;
  CControlUI* m_pageError = nullptr;
  CControlUI* m_pageGif = nullptr;
  CControlUI* m_gif = nullptr;
  CControlUI* m_tip = nullptr;
};

// Opens the question window for (class id, lesson id) over the player, or gives the open
// one the new ids and brings it to the front.
void OpenQuestionWindow(HWND player, const std::string& classId, const std::string& lessonId);
