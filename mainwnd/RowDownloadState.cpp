// Download looks of course list rows.
#include "mainwnd/RowDownloadState.h"

#include "downloads/DownloadTaskList.h"
#include "study/DownloadCenter.h"
#include "ui/Container.h"
#include "ui/Control.h"

namespace {

constexpr const wchar_t* kIdleText = L"textcolor=\"#FF4D4D4D\"";
constexpr const wchar_t* kBusyText = L"textcolor=\"#FFFF854D\"";

DownloadState StateOf(const std::optional<DownloadTask>& task) {
  return task ? ListedStateOf(*task) : DownloadState::None;
}

void ApplyTaskState(CControlUI& button, DownloadState state) {
  if (state == DownloadState::Finished) {
    button.SetText(kRowDownloaded);
    button.SetEnabled(false);
    return;
  }
  button.ApplyAttributeList(state == DownloadState::Waiting ? kBusyText : kIdleText);
  button.SetText(RowTextOf(state));
  button.SetEnabled(true);
}

void SetLook(CControlUI* look, bool downloaded) {
  if (look == nullptr) return;
  look->SetEnabled(downloaded);
  look->SetToolTip(downloaded ? L"查看" : L"请先下载");
  look->ApplyAttributeList(downloaded ? L"normalimage=\"icon_file_downloaded.png\""
                                      : L"normalimage=\"icon_file_not_downloaded.png\"");
}

CControlUI* ButtonOf(CControlUI* row, TaskKind kind) {
  auto* container = dynamic_cast<CContainerUI*>(row);
  if (container == nullptr) return nullptr;
  return container->FindSubControl(kind == TaskKind::Document ? L"btnDocDown" : L"btnVideoDown");
}

}  // namespace

void ApplyLessonState(CControlUI* button, const std::string& classId, const LessonRecord& lesson) {
  if (button == nullptr) return;
  ApplyTaskState(*button, StateOf(DownloadTaskList::Get().FindTask(classId, lesson.id, TaskKind::Video)));
}

void ApplyDocState(CControlUI* button, CControlUI* look, const std::string& classId,
                   const DocumentRecord& doc) {
  const DownloadState state = StateOf(DownloadTaskList::Get().FindTask(classId, doc.id, TaskKind::Document));
  if (button != nullptr) ApplyTaskState(*button, state);
  SetLook(look, state == DownloadState::Finished);
}

void SetRowProgress(CControlUI* row, TaskKind kind, int percent) {
  CControlUI* button = ButtonOf(row, kind);
  if (button == nullptr) return;
  button->ApplyAttributeList(kBusyText);
  button->SetText(std::to_wstring(percent) + L"%");
}

void SetRowWaiting(CControlUI* row, TaskKind kind) {
  CControlUI* button = ButtonOf(row, kind);
  if (button == nullptr) return;
  button->ApplyAttributeList(kBusyText);
  button->SetText(kRowWaiting);
  button->SetEnabled(true);
}

void SetRowStatus(CControlUI* row, TaskKind kind, const std::wstring& status) {
  CControlUI* button = ButtonOf(row, kind);
  if (button == nullptr) return;
  // A download waiting again reads as the one queued at first: the same text, the same colour.
  button->ApplyAttributeList(status == kRowWaiting ? kBusyText : kIdleText);
  button->SetText(status);
  button->SetEnabled(status != kRowDownloaded);
  if (kind == TaskKind::Document)
    SetLook(static_cast<CContainerUI*>(row)->FindSubControl(L"btnDocLook"), status == kRowDownloaded);
}
