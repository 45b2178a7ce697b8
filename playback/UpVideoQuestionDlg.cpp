#include "playback/UpVideoQuestionDlg.h"

#include <memory>

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlaybackMessages.h"
#include "playback/PlayerServices.h"
#include "ui/Control.h"
#include "ui/Option.h"

namespace {
constexpr const wchar_t* kOptions[6] = {L"opt1", L"opt2", L"opt3", L"opt4", L"opt5", L"opt6"};
constexpr int kWidth = 509;
constexpr int kHeight = 434;
}  // namespace

void UpVideoQuestionDlg::InitWindow() {
  m_close = FindControl(L"btnClose");
  m_edit = FindControl(L"edtQuestion");
  m_submit = FindControl(L"btnSubmit");
  m_pageError = FindControl(L"pageError");
  m_pageGif = FindControl(L"pageGif");
  m_gif = FindControl(L"gLoginGif");
  m_tip = FindControl(L"lbTip");
  if (m_tip) m_tip->SetVisible(false);
  SetSubmitEnabled(false);
  TellPlayer(WM_PLAYER_PAUSE);
}

void UpVideoQuestionDlg::TellPlayer(UINT message) { PostMessage(FindOnlinePlayer(), message); }

std::string UpVideoQuestionDlg::SelectedType() const {
  for (int i = 0; i < 6; ++i) {
    auto* option = FindControlAs<COptionUI>(kOptions[i]);
    if (option && option->IsSelected()) return std::to_string(i + 1);
  }
  return "";
}

void UpVideoQuestionDlg::SetSubmitEnabled(bool enabled) {
  if (!m_submit) return;
  m_submit->SetEnabled(enabled);
  m_submit->ApplyAttributeList(enabled ? L"bkcolor=\"#FFFF4C02\"" : L"bkcolor=\"#FFF5F5F5\"");
}

void UpVideoQuestionDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"textchanged" && msg.pSender == m_edit) {
    SetSubmitEnabled(!SelectedType().empty() && !m_edit->GetText().empty());
    return;
  }
  if (msg.sType == L"selectchanged") {
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (option && option->IsSelected() && m_edit && !m_edit->GetText().empty()) SetSubmitEnabled(true);
    return;
  }
  WindowImplBase::Notify(msg);
}

void UpVideoQuestionDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender == m_close) {
    TellPlayer(WM_PLAYER_RESUME);
    PostMessage(m_hWnd, WM_CLOSE);
  } else if (msg.pSender == m_submit) {
    Submit();
  }
}

void UpVideoQuestionDlg::Submit() {
  if (m_pageGif) m_pageGif->SetVisible(true);
  std::string type = SelectedType();
  std::string content = m_edit ? WideToUtf8(m_edit->GetText()) : "";
  if (content.empty()) return;
  auto send = GetPlayerServices().sendQuestion;
  std::string classId = m_classId;
  std::string lessonId = m_lessonId;
  RunPlayerTask(m_hWnd, [this, send, type, content, classId, lessonId]() -> std::function<void()> {
    bool accepted = send && send(type, content, classId, lessonId);
    return [this, accepted, classId, lessonId] {
      if (accepted) {
        LogNormal(L"question sent classid:" + AnsiToWide(classId) + L" lessonId:" + AnsiToWide(lessonId) +
                  L"\n");
      } else {
        LogError(L"question not accepted classid:" + AnsiToWide(classId) + L" lessonId:" +
                 AnsiToWide(lessonId) + L"\n");
      }
      SetTimer(m_hWnd, accepted ? kQuestionSuccessTimer : kQuestionFailureTimer, 1000);
    };
  });
}

void UpVideoQuestionDlg::ShowResult(const std::wstring& text, UINT nextTimer) {
  if (m_tip) {
    m_tip->SetText(text);
    m_tip->SetVisible(true);
  }
  if (m_gif) m_gif->SetVisible(false);
  SetTimer(m_hWnd, nextTimer, 1000);
}

void UpVideoQuestionDlg::BackToForm() {
  if (m_pageGif) m_pageGif->SetVisible(false);
  if (m_gif) m_gif->SetVisible(true);
  if (m_tip) m_tip->SetVisible(false);
}

LRESULT UpVideoQuestionDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                                bool& bHandled) {
  bHandled = true;
  if (msg == WM_PLAYER_TASK_DONE) {
    if (auto* done = PayloadAs<PlayerTaskDone>(payload); done && done->then) done->then();
    return 0;
  }
  if (msg == WM_QUESTION_LESSON) {
    if (auto* ids = PayloadAs<std::pair<std::string, std::string>>(payload)) {
      m_classId = ids->first;
      m_lessonId = ids->second;
    }
    return 0;
  }
  if (msg == WM_TIMER) {
    UINT id = static_cast<UINT>(wParam);
    if (id == kQuestionSuccessTimer || id == kQuestionFailureTimer || id == kQuestionCloseTimer ||
        id == kQuestionBackTimer) {
      KillTimer(m_hWnd, id);
      if (id == kQuestionSuccessTimer) {
        ShowResult(L"提交成功，请等待老师答复", kQuestionCloseTimer);
      } else if (id == kQuestionFailureTimer) {
        ShowResult(L"提交失败，检查是否断网了", kQuestionBackTimer);
      } else if (id == kQuestionCloseTimer) {
        BackToForm();
        TellPlayer(WM_PLAYER_RESUME);
        PostMessage(m_hWnd, WM_CLOSE);
      } else {
        BackToForm();
      }
      return 0;
    }
  }
  bHandled = false;
  return 0;
}

void UpVideoQuestionDlg::OnFinalMessage(HWND) { std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this); }

void OpenQuestionWindow(HWND player, const std::string& classId, const std::string& lessonId) {
  HWND open = FindWindow(L"upVideoQuestionDlgClass", L"问题反馈");
  if (open != kNoWindow) {
    SendMessage(open, WM_QUESTION_LESSON, 0, 0,
                MakePayload<std::pair<std::string, std::string>>(classId, lessonId));
    if (CWindowWnd* window = CWindowWnd::FromHandle(open)) window->BringToFront();
    return;
  }
  auto dialog = std::make_unique<UpVideoQuestionDlg>(classId, lessonId);
  UpVideoQuestionDlg* raw = dialog.get();
  if (raw->Create(player, L"问题反馈", WS_OVERLAPPEDWINDOW, 0, 0, 0, kWidth, kHeight) == kNoWindow) {
    LogError(L"question window could not be created\n");
    return;
  }
  AdoptSelfOwned(std::move(dialog));
  raw->CenterWindow();
  raw->ShowWindow(true, true);
}
