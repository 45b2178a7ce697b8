// Long lists: rows whose cells are made when they come near the view, and row skins read
// once and made again.
#include "UiTestSupport.h"
#include "ui/Button.h"
#include "ui/ControlAccessible.h"
#include "ui/ControlPrototype.h"
#include "ui/DialogBuilder.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"

namespace {

constexpr int kRows = 1000;

class LongListTest : public UiTest {
 protected:
  // A 400 x 300 window whose list (under a 40-pixel header) holds kRows rows of 30 pixels,
  // each with a deferred title cell "第 i 课"; `fills` counts the fills of each row.
  CListUI* Build() {
    wnd = MakeWindow(R"(<List name="list" vscrollbar="true">
        <ListHeader height="40"><ListHeaderItem name="h0"/></ListHeader></List>)");
    auto* list = static_cast<CListUI*>(wnd->FindControl(L"list"));
    fills.assign(kRows, 0);
    for (int i = 0; i < kRows; ++i) {
      auto row = std::make_unique<CListContainerElementUI>();
      row->SetFixedHeight(30);
      row->SetUserData(std::to_wstring(i));
      row->SetDeferredFill([this, i](CListContainerElementUI& self) {
        ++fills[static_cast<size_t>(i)];
        auto title = std::make_unique<CLabelUI>();
        title->SetName(L"title");
        title->SetText(L"第 " + std::to_wstring(i) + L" 课");
        self.Add(title.release());
      });
      list->Add(row.release());
    }
    wnd->PM().DoLayout();
    return list;
  }
  std::vector<int> Filled() const {
    std::vector<int> rows;
    for (int i = 0; i < kRows; ++i)
      if (fills[static_cast<size_t>(i)] != 0) rows.push_back(i);
    return rows;
  }
  static CListContainerElementUI* Row(CListUI* list, int i) {
    return static_cast<CListContainerElementUI*>(list->GetRowAt(i));
  }

  std::unique_ptr<RecordingWnd> wnd;
  std::vector<int> fills;
};

}  // namespace

// The view shows rows 0..8 (260 pixels); half a view more below is filled, nothing else.
TEST_F(LongListTest, OnlyRowsNearTheViewAreFilledAndEachOnce) {
  CListUI* list = Build();
  const std::vector<int> filled = Filled();
  ASSERT_FALSE(filled.empty());
  EXPECT_EQ(filled.front(), 0);
  EXPECT_GE(filled.back(), 8);
  EXPECT_LE(filled.back(), 14);
  // Filled cells are placed at once in their row.
  CControlUI* title = Row(list, 0)->FindSubControl(L"title");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->GetPos(), (CDuiRect{0, 40, 400 - list->GetList()->GetVerticalScrollBar()->GetThickness(), 70}));

  // Scrolling to the end fills the rows it reaches, without asking the window for a layout
  // (the first layout showed the scroll bar, which asks for one more).
  wnd->PM().DoLayout();
  ASSERT_FALSE(wnd->PM().IsUpdateNeeded());
  list->GetList()->EndDown();
  EXPECT_FALSE(wnd->PM().IsUpdateNeeded());
  EXPECT_EQ(fills[kRows - 1], 1);
  EXPECT_EQ(fills[kRows / 2], 0);
  CControlUI* last = Row(list, kRows - 1)->FindSubControl(L"title");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->GetPos().bottom, list->GetList()->GetPos().bottom);

  // Layout, paint and scrolling back never fill a row twice.
  list->GetList()->HomeUp();
  wnd->PM().NeedUpdate();
  wnd->PM().DoLayout();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 300);
  cairo_t* cr = cairo_create(surface);
  wnd->PM().Paint(cr, {0, 0, 400, 300});
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  for (int count : fills) EXPECT_LE(count, 1);

  // Emptying the list makes no cells on the way out.
  const size_t before = Filled().size();
  list->RemoveAll();
  wnd->PM().FlushAsyncNotify();
  PumpPendingMessages();
  EXPECT_EQ(Filled().size(), before);
}

// A row far from the view answers for its cells as if it had always had them: counted,
// read, searched, named for assistive technologies, selected by the keyboard.
TEST_F(LongListTest, AFarRowMakesItsCellsWhenAskedFor) {
  CListUI* list = Build();
  EXPECT_EQ(fills[500], 0);
  EXPECT_EQ(Row(list, 500)->GetUserData(), L"500");
  EXPECT_EQ(fills[500], 0);
  EXPECT_EQ(Row(list, 500)->GetCount(), 1);
  EXPECT_EQ(fills[500], 1);

  ASSERT_NE(Row(list, 600)->FindSubControl(L"title"), nullptr);
  EXPECT_EQ(Row(list, 600)->FindSubControl(L"title")->GetText(), L"第 600 课");
  EXPECT_EQ(Row(list, 700)->GetAccessible()->Name(), "第 700 课");
  EXPECT_EQ(Row(list, 700)->GetIndex(), 700);

  // End selects the last row and scrolls it into view: its cells are there and placed.
  list->SelectItem(0);
  TEventUI key;
  key.Type = UIEvent::KeyDown;
  key.chKey = VK_END;
  list->DoEvent(key);
  EXPECT_EQ(list->GetCurSel(), kRows - 1);
  EXPECT_EQ(fills[kRows - 1], 1);
  EXPECT_TRUE(Row(list, kRows - 1)->GetPos().Intersects(list->GetList()->GetPos()));
  EXPECT_TRUE(problems.empty());
}

// Rows made again from a prototype are the builder's rows: the same controls, names,
// window defaults and places; the file is read only once.
TEST_F(UiTest, PrototypeMakesTheBuildersTreeFromOneReading) {
  const std::string row = R"(<?xml version="1.0" encoding="utf-8"?>
<HorizontalLayout name="row" height="30" inset="4,0,0,0">
  <Label name="title" text="标题" width="120"/>
  <VerticalLayout><Button name="go" text="下载" height="20"/><Control/></VerticalLayout>
</HorizontalLayout>)";
  WriteSkin("row.xml", row);
  auto wnd = MakeWindow(R"(<VerticalLayout name="holder"/>)");
  wnd->PM().AddDefaultAttributeList(L"Button", L"textcolor=\"#FF112233\"");
  CControlPrototype prototype(L"row.xml");
  auto first = prototype.Create(&wnd->PM());
  WriteSkin("row.xml", "<Label name=\"changed\"/>");
  auto second = prototype.Create(&wnd->PM());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  auto* holder = static_cast<CContainerUI*>(wnd->FindControl(L"holder"));
  CControlUI* a = first.get();
  CControlUI* b = second.get();
  holder->Add(first.release());
  holder->Add(second.release());
  wnd->PM().DoLayout();
  auto* ca = static_cast<CContainerUI*>(a);
  auto* cb = static_cast<CContainerUI*>(b);
  EXPECT_EQ(cb->GetName(), L"row");
  for (const wchar_t* name : {L"title", L"go"}) {
    CControlUI* x = ca->FindSubControl(name);
    CControlUI* y = cb->FindSubControl(name);
    ASSERT_NE(y, nullptr) << ToUtf8(name);
    EXPECT_EQ(x->GetClass(), y->GetClass());
    EXPECT_EQ(x->GetText(), y->GetText());
    EXPECT_EQ(y->GetPos().left, x->GetPos().left);
    EXPECT_EQ(y->GetPos().GetWidth(), x->GetPos().GetWidth());
    EXPECT_EQ(y->GetPos().top - b->GetPos().top, x->GetPos().top - a->GetPos().top);
  }
  EXPECT_EQ(static_cast<CButtonUI*>(cb->FindSubControl(L"go"))->GetTextColor(), 0xFF112233u);

  // A file the builder reports is reported once and makes nothing.
  WriteSkin("bad.xml", "<HorizontalLayout><Bogus/>");
  CControlPrototype bad(L"bad.xml");
  EXPECT_EQ(bad.Create(&wnd->PM()), nullptr);
  EXPECT_EQ(problems.size(), 1u);
}
