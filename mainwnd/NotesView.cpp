// The notes view of the main window.
#include "mainwnd/NotesView.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "account/MessageBoxDlg.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "mainwnd/NoteTaking.h"
#include "platform/MessageCore.h"
#include "study/NoteGroups.h"
#include "ui/Button.h"
#include "ui/Container.h"
#include "ui/Dialogs.h"
#include "ui/HorizontalLayout.h"
#include "ui/Label.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr int kTipDistance = 120;
constexpr int kTipWidth = 260;

constexpr const wchar_t* kClassLook =
    L"height=\"44\" font=\"6\" textcolor=\"#FF292929\" endellipsis=\"true\" padding=\"0,8,0,0\"";
constexpr const wchar_t* kItemLook = L"height=\"34\" font=\"5\" textcolor=\"#FF4D4D4D\" endellipsis=\"true\"";
constexpr const wchar_t* kRowLook = L"height=\"40\" inset=\"16,0,0,0\" bordercolor=\"#FFF0F1F3\"";
constexpr const wchar_t* kPlaceLook =
    L"width=\"96\" font=\"0\" textcolor=\"#FFFF854D\" hottextcolor=\"#FFE8733F\" align=\"left\" cursor=\"hand\"";
constexpr const wchar_t* kTextLook = L"font=\"0\" textcolor=\"#FF333333\" endellipsis=\"true\"";
constexpr const wchar_t* kTimeLook = L"width=\"140\" font=\"3\" textcolor=\"#FF999999\"";
constexpr const wchar_t* kRemoveLook =
    L"width=\"48\" font=\"3\" textcolor=\"#FF999999\" hottextcolor=\"#FFFF5A4D\" cursor=\"hand\"";

std::wstring W(const std::string& utf8) { return Utf8ToWide(utf8); }

size_t IndexOf(const CControlUI& control) {
  try {
    return static_cast<size_t>(std::stoul(control.GetUserData()));
  } catch (...) {
    return static_cast<size_t>(-1);
  }
}

std::wstring ExportName() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  wchar_t date[16];
  std::wcsftime(date, 16, L"%Y%m%d", &local);
  return std::wstring(L"我的笔记-") + date + L".md";
}

}  // namespace

NotesExport WriteNewFile(const std::string& path, const std::string& text) {
  // O_EXCL: a file the student already has is never replaced.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? NotesExport::Exists : NotesExport::Failed;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  if (done != text.size() || !closed) {
    // The half-written file is ours: it goes rather than pass for an export.
    ::unlink(path.c_str());
    return NotesExport::Failed;
  }
  return NotesExport::Written;
}

NotesView::NotesView(WindowImplBase& window, CourseCatalogue& catalogue)
    : m_window(window),
      m_opener(catalogue,
               [&window](const std::wstring& text) { ShowTip(window.GetHWND(), kTipDistance, kTipWidth, text); }),
      m_chooseExport([&window] { return ChooseSaveFile(window.GetHWND(), L"导出笔记", ExportName()); }) {}

NotesView::~NotesView() = default;

void NotesView::Refresh() {
  NoteBook book(NotesDbPath());
  m_shown.clear();
  auto* list = dynamic_cast<CContainerUI*>(m_window.FindControl(L"vlNotesList"));
  if (list) list->RemoveAll();
  for (const NoteClassGroup& group : GroupNotes(book.All())) {
    std::string name = ClassNameOf(group.classId);
    if (name.empty()) name = UnknownClassName(group.classId);
    if (list) AddHeading(*list, W(name), true);
    for (const NoteItemGroup& item : group.items) {
      if (list) AddHeading(*list, (item.kind == NoteKind::Document ? L"讲义：" : L"视频：") + W(item.title), false);
      for (const Note& note : item.notes) {
        if (list) AddRow(*list, note, m_shown.size());
        m_shown.push_back(note);
      }
    }
  }
  if (CControlUI* empty = m_window.FindControl(L"lbNotesEmpty")) empty->SetVisible(m_shown.empty());
  if (list) list->SetVisible(!m_shown.empty());
  if (CControlUI* count = m_window.FindControl(L"lbNotesCount"))
    count->SetText(m_shown.empty() ? L"" : L"共 " + std::to_wstring(m_shown.size()) + L" 条");
  if (CControlUI* exportButton = m_window.FindControl(L"btnExportNotes")) exportButton->SetEnabled(!m_shown.empty());
}

void NotesView::AddHeading(CContainerUI& list, const std::wstring& text, bool classLevel) {
  auto label = std::make_unique<CLabelUI>();
  label->ApplyAttributeList(classLevel ? kClassLook : kItemLook);
  label->SetText(text);
  label->SetToolTip(text);
  list.Add(std::move(label));
}

void NotesView::AddRow(CContainerUI& list, const Note& note, size_t index) {
  auto row = std::make_unique<CHorizontalLayoutUI>();
  row->ApplyAttributeList(kRowLook);
  auto place = std::make_unique<CButtonUI>();
  place->ApplyAttributeList(kPlaceLook);
  place->SetName(L"btnNoteOpen");
  place->SetText(W(NotePlace(note)));
  place->SetToolTip(note.kind == NoteKind::Document ? L"打开讲义到这一页" : L"从这一刻开始播放");
  place->SetUserData(std::to_wstring(index));
  auto text = std::make_unique<CLabelUI>();
  text->ApplyAttributeList(kTextLook);
  text->SetText(note.text.empty() ? L"（书签）" : W(note.text));
  text->SetToolTip(W(note.text));
  auto time = std::make_unique<CLabelUI>();
  time->ApplyAttributeList(kTimeLook);
  time->SetText(W(NoteTime(note.createdAt)));
  auto remove = std::make_unique<CButtonUI>();
  remove->ApplyAttributeList(kRemoveLook);
  remove->SetName(L"btnNoteRemove");
  remove->SetText(L"删除");
  remove->SetUserData(std::to_wstring(index));
  row->Add(std::move(place));
  row->Add(std::move(text));
  row->Add(std::move(time));
  row->Add(std::move(remove));
  list.Add(std::move(row));
}

bool NotesView::HandleNotify(TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return false;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"btnNoteOpen") {
    Open(IndexOf(*msg.pSender));
    return true;
  }
  if (name == L"btnNoteRemove") {
    Remove(IndexOf(*msg.pSender));
    return true;
  }
  if (name == L"btnExportNotes") {
    Export();
    return true;
  }
  return false;
}

NoteOpening NotesView::Open(size_t index) {
  if (index >= m_shown.size()) return NoteOpening::Gone;
  return m_opener.Open(m_shown[index]);
}

bool NotesView::Remove(size_t index) {
  if (index >= m_shown.size()) return false;
  NoteBook book(NotesDbPath());
  const bool removed = book.Remove(m_shown[index].id);
  // Rebuilt after the click has been handled: the button that was clicked goes with it.
  PostToMainLoop([this, alive = std::weak_ptr<bool>(m_alive)] {
    if (alive.lock()) Refresh();
  });
  return removed;
}

NotesExport NotesView::Export() {
  const std::wstring path = m_chooseExport ? m_chooseExport() : std::wstring();
  if (path.empty()) return NotesExport::Cancelled;
  NoteBook book(NotesDbPath());
  const std::string markdown =
      NotesMarkdown(GroupNotes(book.All()), [](const std::string& classId) { return ClassNameOf(classId); });
  const NotesExport result = WriteNewFile(WideToUtf8(path), markdown);
  const HWND owner = m_window.GetHWND();
  switch (result) {
    case NotesExport::Written:
      LogNormal(L"notes exported to " + path);
      ShowTip(owner, kTipDistance, kTipWidth, L"笔记已导出");
      break;
    case NotesExport::Exists:
      LogNormal(L"notes not exported: a file is already at " + path);
      ShowTip(owner, kTipDistance, kTipWidth, L"已有同名文件，请换一个文件名");
      break;
    case NotesExport::Failed:
      LogError(L"notes not exported to " + path);
      ShowTip(owner, kTipDistance, kTipWidth, L"导出失败");
      break;
    case NotesExport::Cancelled:
      break;
  }
  return result;
}
