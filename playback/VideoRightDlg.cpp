#include "playback/VideoRightDlg.h"

#include <memory>

#include "account/MessageBoxDlg.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "playback/PlayerCatalogue.h"
#include "playback/PlayerServices.h"
#include "playback/UpVideoQuestionDlg.h"
#include "ui/Control.h"

namespace {
constexpr int kTipDistance = 553;
constexpr int kTipWidth = 144;
}  // namespace

VideoRightDlg::VideoRightDlg(std::string classId, std::string vid, std::string lessonId)
    : m_classId(std::move(classId)), m_vid(std::move(vid)), m_lessonId(std::move(lessonId)) {}

void VideoRightDlg::InitWindow() {
  m_download = FindControl(L"btnPlayDown");
  RefreshDownloadButton();
}

void VideoRightDlg::SetLesson(const std::string& classId, const std::string& vid,
                              const std::string& lessonId) {
  m_classId = classId;
  m_vid = vid;
  m_lessonId = lessonId;
  RefreshDownloadButton();
}

void VideoRightDlg::RefreshDownloadButton() {
  if (!m_download) return;
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  bool downloading = catalogue.isDownloading && catalogue.isDownloading(m_classId, m_lessonId);
  m_download->SetText(downloading ? L"下载中" : L"下  载");
  m_download->SetEnabled(!downloading);
}

void VideoRightDlg::Toast(const std::wstring& text) { ShowTip(m_hOwner, kTipDistance, kTipWidth, text); }

void VideoRightDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"btnAddNote") {
    // A bookmark is kept on this computer: it needs no network.
    if (m_addNote) m_addNote();
    return;
  }
  if (name != L"btnPlayDown" && name != L"btnPlayDownPrev" && name != L"btnPlayDownNext" &&
      name != L"btnUpVideoQuestion")
    return;
  const PlayerServices& services = GetPlayerServices();
  if (services.isOnline && !services.isOnline()) {
    Toast(L"请检查网络连接");
    return;
  }
  if (name == L"btnPlayDown") {
    Download();
  } else if (name == L"btnPlayDownPrev") {
    PlayPrevious();
  } else if (name == L"btnPlayDownNext") {
    PlayNext();
  } else {
    OpenQuestion();
  }
}

void VideoRightDlg::Download() {
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  // The toast and the button say "added" only when the download really was added or
  // resumed; a cancelled folder choice or a missing download side leaves them as they are.
  if (!catalogue.startDownload || !catalogue.startDownload(m_classId, m_lessonId)) {
    LogNormal(L"VideoRightDlg download not started lesson:" + AnsiToWide(m_lessonId) + L"\n");
    return;
  }
  Toast(L"已添加到下载列表");
  if (m_download) {
    m_download->SetText(L"下载中");
    m_download->SetEnabled(false);
  }
}

bool VideoRightDlg::PlayPrevious() { return PlayNeighbour(false); }
bool VideoRightDlg::PlayNext() { return PlayNeighbour(true); }

bool VideoRightDlg::PlayNeighbour(bool next) {
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  const auto& find = next ? catalogue.nextLesson : catalogue.previousLesson;
  std::string newLessonId;
  std::string newLearned;
  if (!find || !find(m_classId, m_lessonId, newLessonId, newLearned)) {
    Toast(next ? L"当前在最后一个视频" : L"当前在第一个视频");
    return false;
  }
  if (!IsWindow(m_hOwner)) return false;
  m_lessonId = newLessonId;
  RefreshDownloadButton();
  SendMessage(m_hOwner, WM_PLAYER_PENDING_DURATION, 0, 0, MakePayload<std::string>(newLearned));
  PostMessage(m_hOwner, next ? WM_PLAYER_NEXT_LESSON : WM_PLAYER_PREV_LESSON, 0, 0,
              MakePayload<std::pair<std::string, std::string>>(m_classId, m_lessonId));
  return true;
}

void VideoRightDlg::OpenQuestion() { OpenQuestionWindow(m_hOwner, m_classId, m_lessonId); }

void VideoRightDlg::OnHostMouse(const HostMouseEvent& event) {
  if (event.type == HostMouseType::Leave) {
    if (m_lastX >= kWidth - 4) PostMessage(m_hOwner, WM_PLAYER_MOUSE_LEFT);
  } else {
    m_lastX = event.x;
  }
  WindowImplBase::OnHostMouse(event);
}
