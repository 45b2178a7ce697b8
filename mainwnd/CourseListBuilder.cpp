// Controls of the course lists.
#include "mainwnd/CourseListBuilder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/Log.h"
#include "app/TextConv.h"
#include "mainwnd/LessonFormat.h"
#include "ui/Button.h"
#include "ui/GifAnim.h"
#include "ui/HorizontalLayout.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/ListHeader.h"
#include "ui/ListHeaderItem.h"
#include "ui/Option.h"
#include "ui/PaintManager.h"
#include "ui/VerticalLayout.h"

namespace {

// Ownership passes to the container the control is added to, at once.
template <class T>
T* Make(std::wstring_view attributes = {}) {
  auto control = std::make_unique<T>();
  if (!attributes.empty()) control->ApplyAttributeList(attributes);
  return control.release();
}

CControlUI* Spacer(int width, int height) {
  auto* spacer = Make<CControlUI>();
  if (width > 0) spacer->SetFixedWidth(width);
  if (height > 0) spacer->SetFixedHeight(height);
  return spacer;
}

constexpr const wchar_t* kLessonListAttributes =
    L"vscrollbar=\"true\" itemselectedbkcolor=\"#FFFFFCFA\" itemhotbkcolor=\"#FFFFFCFA\" "
    L"itemshowrowline=\"true\" "
    L"itemlinecolor=\"#FFEBEBEB\" hscrollbar=\"true\" itemvalign=\"vcenter\" scrollstepsize=\"60\"";
constexpr const wchar_t* kDocListAttributes =
    L"vscrollbar=\"true\" itemselectedbkcolor=\"#FFFFFCFA\" itemhotbkcolor=\"#FFFFFCFA\" "
    L"itemshowrowline=\"true\" "
    L"itemlinecolor=\"#FFEBEBEB\" hscrollbar=\"true\" itemvalign=\"vcenter\" scrollstepsize=\"4\"";

constexpr const wchar_t* kLessonColumns[] = {
    L"name=\"headerSelect\" width=\"27\" visible=\"false\"",
    L"text=\"\" textcolor=\"#FF292929\" align=\"left\" font=\"5\"",
    L"width=\"80\" align=\"center\"",
    L"text=\"课件时长\" textcolor=\"#FF292929\" align=\"center\" width=\"160\" font=\"5\"",
    L"text=\"学习进度\" textcolor=\"#FF292929\" align=\"center\" width=\"160\" font=\"5\"",
    L"text=\"离线课件\" textcolor=\"#FF292929\" align=\"center\" width=\"138\" font=\"5\"",
    L"name=\"headerPlay\" textcolor=\"#FF292929\" align=\"center\" text=\"播放\" width=\"120\" font=\"5\"",
};
constexpr const wchar_t* kDocColumns[] = {
    L"name=\"headerSelectYJ\" width=\"27\" visible=\"false\"",
    L"text=\"\" textpadding=\"0,0,0,0\" textcolor=\"#FF292929\" align=\"left\" font=\"5\"",
    L"text=\"讲义大小\" textcolor=\"#FF292929\" align=\"center\" width=\"160\" font=\"5\"",
    L"text=\"离线文档\" textcolor=\"#FF292929\" align=\"center\" width=\"144\" font=\"5\"",
    L"text=\"查看\" textcolor=\"#FF292929\" align=\"center\" width=\"120\" font=\"5\"",
};

constexpr const wchar_t* kMarkerLook = L"textcolor=\"#FFFFAB84\" font=\"8\"";

// The centred area that every in-list state uses: a band of 326 pixels holding a column
// of 355 between two fillers, then a filler below.
CVerticalLayoutUI* AddStateColumn(CListUI& list) {
  auto* band = Make<CHorizontalLayoutUI>();
  band->SetFixedHeight(326);
  band->Add(Make<CControlUI>());
  auto* column = Make<CVerticalLayoutUI>();
  column->SetFixedWidth(355);
  band->Add(column);
  band->Add(Make<CControlUI>());
  list.Add(band);
  list.Add(Make<CControlUI>());
  return column;
}

// The hidden select cell of a row: its option carries the row index.
CHorizontalLayoutUI* SelectCell(const wchar_t* optionAttributes, const std::wstring& index) {
  auto* cell = Make<CHorizontalLayoutUI>();
  cell->SetVisible(false);
  cell->Add(Spacer(3, 0));
  auto* column = Make<CVerticalLayoutUI>();
  column->Add(Spacer(0, 18));
  auto* option = Make<COptionUI>(optionAttributes);
  option->SetFixedWidth(24);
  option->SetFixedHeight(24);
  option->SetUserData(index);
  column->Add(option);
  cell->Add(column);
  return cell;
}

CLabelUI* NameCell(const std::string& name) {
  const std::wstring text = AnsiToWide(name);
  auto* label = Make<CLabelUI>();
  label->SetText(text);
  label->SetToolTip(text);
  label->ApplyAttributeList(L"endellipsis=\"true\" textcolor=\"#FF4D4D4D\" font=\"7\"");
  return label;
}

// The download button in its "not downloaded" look; clicking it is the list downloads' job.
CButtonUI* DownloadCell(const wchar_t* name, const std::wstring& index) {
  auto* button = Make<CButtonUI>();
  button->SetName(name);
  button->ApplyAttributeList(
      L"align=\"center\" textcolor=\"#FF4D4D4D\" disabledtextcolor=\"#FFB3B3B3\" font=\"7\" text=\"下载\"");
  button->SetUserData(index);
  return button;
}

// A button centred in its cell by a left spacer and a top spacer.
CHorizontalLayoutUI* ButtonCell(int left, int top, const wchar_t* attributes, const std::wstring& index,
                                CButtonUI** made) {
  auto* cell = Make<CHorizontalLayoutUI>();
  cell->Add(Spacer(left, 0));
  auto* column = Make<CVerticalLayoutUI>();
  column->Add(Spacer(0, top));
  auto* button = Make<CButtonUI>(attributes);
  button->SetUserData(index);
  column->Add(button);
  cell->Add(column);
  *made = button;
  return cell;
}

CListContainerElementUI* NewRow() {
  auto* row = Make<CListContainerElementUI>();
  row->SetFixedHeight(60);
  row->SetInset({7, 0, 0, 0});
  return row;
}

// A course list keeps a readable name column on narrow windows: when the name would get
// less than kMinNameWidth, the fixed columns (marker, duration, progress, download, play)
// give up width together, down to kMinColumnScale of their own. From about 1100 pixels of
// window width on, every column has its designed width.
class CourseListUI : public CListUI {
 public:
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override {
    FitColumns(rc.right - rc.left);
    CListUI::SetPos(rc, needInvalidate);
  }

 private:
  static constexpr int kMinNameWidth = 220;
  static constexpr double kMinColumnScale = 0.6;
  // The header's inset and the vertical scroll bar.
  static constexpr int kReserved = 7 + 12;

  void FitColumns(int width) {
    CListHeaderUI* header = GetHeader();
    if (header == nullptr || width <= 0) return;
    std::vector<CListHeaderItemUI*> columns;
    for (int i = 0; i < header->GetCount(); ++i)
      if (auto* column = dynamic_cast<CListHeaderItemUI*>(header->GetItemAt(i))) columns.push_back(column);
    if (m_designed.size() != columns.size()) {
      m_designed.clear();
      for (CListHeaderItemUI* column : columns) m_designed.push_back(column->GetFixedWidth());
    }
    int fixed = 0;
    for (size_t i = 0; i < columns.size(); ++i)
      if (columns[i]->IsVisible()) fixed += m_designed[i];
    if (fixed <= 0) return;
    const double room = width - kReserved - kMinNameWidth;
    const double scale = std::clamp(room / fixed, kMinColumnScale, 1.0);
    for (size_t i = 0; i < columns.size(); ++i) {
      if (m_designed[i] <= 0) continue;
      const int fitted = static_cast<int>(std::lround(m_designed[i] * scale));
      if (columns[i]->GetFixedWidth() != fitted) columns[i]->SetFixedWidth(fitted);
    }
  }

  std::vector<int> m_designed;
};

}  // namespace

std::unique_ptr<CListUI> CreateCourseList(ListKind kind, const std::string& classId, int windowWidth) {
  const bool lessons = kind == ListKind::Lessons;
  std::unique_ptr<CListUI> list = std::make_unique<CourseListUI>();
  list->ApplyAttributeList(lessons ? kLessonListAttributes : kDocListAttributes);
  CListHeaderUI* header = list->GetHeader();
  header->ApplyAttributeList(L"height=\"48\" inset=\"7,0,0,0\"");
  if (lessons) {
    for (const wchar_t* column : kLessonColumns) list->Add(Make<CListHeaderItemUI>(column));
  } else {
    for (const wchar_t* column : kDocColumns) list->Add(Make<CListHeaderItemUI>(column));
  }
  // The header's bottom line and the caption over the name column float on the header,
  // after its columns, so they neither scroll with the rows nor count as columns.
  const std::wstring width = std::to_wstring(std::max(0, windowWidth - 384));
  header->Add(
      Make<CControlUI>(L"float=\"true\" pos=\"0,47,0,0\" width=\"9999\" height=\"1\" bkcolor=\"#FFE5E5E5\" "
                       L"minwidth=\"" +
                       width + L"\" maxwidth=\"9999\""));
  header->Add(Make<CLabelUI>(std::wstring(L"text=\"") + (lessons ? L"课件名称" : L"讲义名称") +
                             L"\" pos=\"7,0,0,0\" float=\"true\" width=\"200\" height=\"48\" "
                             L"textcolor=\"#FF292929\" valign=\"center\" align=\"left\" font=\"5\""));
  list->SetVisible(false);
  list->SetUserData(AnsiToWide(classId));
  return list;
}

void ApplyDocListStyle(CListUI& list) {
  CPaintManagerUI* manager = list.GetManager();
  if (manager != nullptr && manager->GetStyle(L"list_style") != nullptr)
    list.ApplyAttributeList(L"style=\"list_style\"");
}

void AddEmptyState(CListUI& list, ListKind kind) {
  CVerticalLayoutUI* column = AddStateColumn(list);
  if (kind == ListKind::Lessons) {
    column->Add(Make<CLabelUI>(L"bkimage=\"no_video_tip.png\" width=\"355\" height=\"296\""));
    column->Add(
        Make<CLabelUI>(L"align=\"center\" text=\"暂无视频\" font=\"9\" textcolor=\"#FF999999\" width=\"355\" "
                       L"height=\"30\""));
  } else {
    column->Add(Make<CLabelUI>(L"bkimage=\"no_jy_tip.png\" width=\"358\" height=\"297\""));
    column->Add(
        Make<CLabelUI>(L"align=\"center\" text=\"暂无讲义\" font=\"9\" textcolor=\"#FF999999\" width=\"355\" "
                       L"height=\"30\""));
  }
}

void AddLoadingState(CListUI& list) {
  CVerticalLayoutUI* column = AddStateColumn(list);
  column->Add(Spacer(0, 110));
  auto* row = Make<CHorizontalLayoutUI>(L"height=\"48\"");
  row->Add(Make<CControlUI>());
  row->Add(
      Make<CGifAnimUI>(L"name=\"gifListLoading\" bkimage=\"list_loading.gif\" width=\"48\" height=\"48\""));
  row->Add(Make<CControlUI>());
  column->Add(row);
  column->Add(
      Make<CLabelUI>(L"name=\"lbListLoading\" align=\"center\" text=\"加载中…\" font=\"9\" "
                     L"textcolor=\"#FF999999\" height=\"36\""));
}

void AddFailedState(CListUI& list) {
  CVerticalLayoutUI* column = AddStateColumn(list);
  column->Add(Make<CLabelUI>(L"bkimage=\"no_video_tip.png\" width=\"355\" height=\"296\""));
  column->Add(Make<CLabelUI>(
      L"name=\"lbListFailed\" align=\"center\" text=\"课程加载失败，请重新选择课程\" font=\"9\" "
      L"textcolor=\"#FF999999\" width=\"355\" height=\"30\""));
}

namespace {

void FillLessonRow(CListContainerElementUI& row, const LessonRecord& lesson, int index,
                   const std::string& lastLessonId) {
  const std::wstring indexText = std::to_wstring(index);
  row.Add(SelectCell(
      L"name=\"optSelectVideo\" normalimage=\"download_nock.png\" selectedimage=\"download_ck.png\"",
      indexText));
  row.Add(NameCell(lesson.name));

  auto* marker = Make<CLabelUI>();
  if (!lastLessonId.empty() && lesson.id == lastLessonId) {
    marker->ApplyAttributeList(kMarkerLook);
    marker->SetText(L"上一次观看");
  }
  row.Add(marker);

  const int64_t duration = ReadSeconds(lesson.duration);
  auto* durationLabel =
      Make<CLabelUI>(L"name=\"lessonDuration\" align=\"center\" textcolor=\"#FF4D4D4D\" font=\"7\"");
  durationLabel->SetText(FormatLessonDuration(duration));
  durationLabel->SetUserData(AnsiToWide(lesson.duration));
  row.Add(durationLabel);

  auto* progress =
      Make<CLabelUI>(L"name=\"learnProgress\" align=\"center\" textcolor=\"#FF4D4D4D\" font=\"7\"");
  SetProgressLabel(*progress, duration, ReadSeconds(lesson.learned_duration));
  row.Add(progress);

  row.Add(DownloadCell(L"btnVideoDown", indexText));
  CButtonUI* play = nullptr;
  row.Add(ButtonCell(50, 20,
                     L"name=\"btnVideoPlay\" normalimage=\"icon_play.png\" width=\"20\" height=\"20\"",
                     indexText, &play));
  play->SetToolTip(L"播放");
}

void FillDocRow(CListContainerElementUI& row, const DocumentRecord& doc, int index) {
  const std::wstring indexText = std::to_wstring(index);
  row.Add(
      SelectCell(L"name=\"optSelectDoc\" normalimage=\"download_nock.png\" selectedimage=\"download_ck.png\"",
                 indexText));
  row.Add(NameCell(doc.name));
  auto* size = Make<CLabelUI>(L"align=\"center\" textcolor=\"#FF4D4D4D\" font=\"7\"");
  size->SetText(FormatDocSize(ReadSeconds(doc.file_size)));
  row.Add(size);
  row.Add(DownloadCell(L"btnDocDown", indexText));
  CButtonUI* look = nullptr;
  row.Add(ButtonCell(
      53, 21, L"name=\"btnDocLook\" normalimage=\"icon_file_not_downloaded.png\" width=\"14\" height=\"17\"",
      indexText, &look));
  // Not downloaded yet: the viewer opens only downloaded documents.
  look->SetEnabled(false);
  look->SetToolTip(L"请先下载");
}

}  // namespace

void AddLessonRow(CListUI& list, const LessonRecord& lesson, int index, const std::string& lastLessonId,
                  RowDressing dressed) {
  CListContainerElementUI* row = NewRow();
  row->SetUserData(AnsiToWide(lesson.id));
  const bool marked = !lastLessonId.empty() && lesson.id == lastLessonId;
  row->SetDeferredFill([lesson, index, marked, dressed = std::move(dressed)](CListContainerElementUI& self) {
    FillLessonRow(self, lesson, index, marked ? lesson.id : std::string());
    if (dressed) dressed(self);
  });
  list.Add(row);
}

void AddDocRow(CListUI& list, const DocumentRecord& doc, int index, RowDressing dressed) {
  CListContainerElementUI* row = NewRow();
  row->SetUserData(AnsiToWide(doc.id));
  row->SetDeferredFill([doc, index, dressed = std::move(dressed)](CListContainerElementUI& self) {
    FillDocRow(self, doc, index);
    if (dressed) dressed(self);
  });
  list.Add(row);
}

CLabelUI* MarkerCellOf(CListContainerElementUI* row) {
  if (row == nullptr || row->GetCount() < 3) return nullptr;
  return dynamic_cast<CLabelUI*>(row->GetItemAt(2));
}

void MarkWatching(CLabelUI& marker) {
  marker.ApplyAttributeList(kMarkerLook);
  marker.SetText(L"正在观看");
}

void MarkLastWatched(CLabelUI& marker) {
  marker.ApplyAttributeList(kMarkerLook);
  marker.SetText(L"上一次观看");
}

void SetProgressLabel(CLabelUI& label, int64_t duration, int64_t learned) {
  label.SetText(FormatLessonProgress(duration, learned));
  label.SetUserData(std::to_wstring(learned));
}
