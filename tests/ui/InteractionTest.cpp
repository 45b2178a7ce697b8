// Hit-testing and notification sequences of the controls under injected input.
#include "UiTestSupport.h"
#include "ui/CheckBox.h"
#include "ui/Combo.h"
#include "ui/DialogBuilder.h"
#include "ui/Edit.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/ListLabelElement.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"

using Events = std::vector<std::string>;

TEST_F(UiTest, ButtonClickNeedsPressAndReleaseInside) {
  auto w = MakeWindow(R"(<VerticalLayout><Button name="btn" height="40" text="登录" tooltip="登录账号"/>
                         <Button name="off" height="40" enabled="false"/><Control/></VerticalLayout>)");
  ClickOn(*w, L"btn");
  EXPECT_EQ(w->events, (Events{"click:btn"}));
  EXPECT_EQ(w->Host()->cursor, HostCursor::Hand);
  w->events.clear();
  w->Host()->MouseDown(10, 10);  // pressed on the button, released elsewhere: no click
  w->Host()->MouseUp(10, 200);
  ClickOn(*w, L"off");
  EXPECT_TRUE(w->events.empty());
}

TEST_F(UiTest, ButtonKeepsPressedStateOnlyWhileInside) {
  auto w = MakeWindow(R"(<VerticalLayout><Button name="btn" height="40"/><Control/></VerticalLayout>)");
  auto* btn = static_cast<CButtonUI*>(w->FindControl(L"btn"));
  w->Host()->MouseDown(10, 10);
  EXPECT_TRUE(btn->GetButtonState() & UISTATE_PUSHED);
  w->Host()->MouseMove(10, 200);
  EXPECT_FALSE(btn->GetButtonState() & UISTATE_PUSHED);
  w->Host()->MouseUp(10, 200);
}

TEST_F(UiTest, OptionGroupKeepsOneSelected) {
  auto w = MakeWindow(R"(<HorizontalLayout>
      <Option name="o1" group="g" selected="true"/><Option name="o2" group="g"/><Option name="o3" group="g"/>
      <CheckBox name="chk"/></HorizontalLayout>)");
  ClickOn(*w, L"o2");
  ClickOn(*w, L"o2");  // selecting the selected one changes nothing
  ClickOn(*w, L"chk");
  ClickOn(*w, L"chk");
  EXPECT_EQ(w->events, (Events{"click:o2", "selectchanged:o2", "click:o2", "click:chk", "selectchanged:chk",
                               "click:chk", "selectchanged:chk"}));
  EXPECT_FALSE(static_cast<COptionUI*>(w->FindControl(L"o1"))->IsSelected());
  EXPECT_TRUE(static_cast<COptionUI*>(w->FindControl(L"o2"))->IsSelected());
  EXPECT_FALSE(static_cast<COptionUI*>(w->FindControl(L"o3"))->IsSelected());
  EXPECT_FALSE(static_cast<CCheckBoxUI*>(w->FindControl(L"chk"))->GetCheck());
}

TEST_F(UiTest, EditTypingModesAndHint) {
  auto w = MakeWindow(R"(<VerticalLayout>
      <Edit name="user" height="40" prompttext="请输入手机号"/>
      <Edit name="digits" height="40" numberonly="true" maxchar="11"/>
      <Edit name="pwd" height="40" password="true"/>
      <Edit name="memo" height="80" multiline="true"/></VerticalLayout>)");
  auto* user = static_cast<CEditUI*>(w->FindControl(L"user"));
  auto* digits = static_cast<CEditUI*>(w->FindControl(L"digits"));
  auto* pwd = static_cast<CEditUI*>(w->FindControl(L"pwd"));
  auto* memo = static_cast<CEditUI*>(w->FindControl(L"memo"));
  EXPECT_EQ(user->GetHintText(), L"请输入手机号");
  ClickOn(*w, L"user");
  w->Host()->Type("张三ab");
  w->Host()->Key(VK_BACK);
  EXPECT_EQ(user->GetText(), L"张三a");
  EXPECT_TRUE(w->Host()->textInput);  // the input method is told where to go
  ClickOn(*w, L"digits");
  w->Host()->Type("13a8x00138000123");
  EXPECT_EQ(digits->GetText(), L"13800138000");  // letters refused, cut at 11
  ClickOn(*w, L"pwd");
  w->Host()->Type("s3cret");
  EXPECT_EQ(pwd->GetText(), L"s3cret");
  EXPECT_EQ(pwd->GetDisplayText(), std::wstring(6, L'\u2022'));
  w->Host()->Key('A', MK_CONTROL);
  w->Host()->Key('C', MK_CONTROL);
  EXPECT_EQ(testHost->clipboard, "");  // a password is never copied
  ClickOn(*w, L"memo");
  w->Host()->Type("一");
  w->Host()->Key(VK_RETURN);
  w->Host()->Type("二");
  EXPECT_EQ(memo->GetText(), L"一\n二");
  Events typed;
  for (auto& e : w->events)
    if (e.rfind("textchanged", 0) == 0) typed.push_back(e);
  EXPECT_EQ(std::count(typed.begin(), typed.end(), "textchanged:digits"), 11);
  EXPECT_EQ(std::count(typed.begin(), typed.end(), "textchanged:user"), 5);
}

TEST_F(UiTest, EditKeysMoveCaretAndEditInTheMiddle) {
  auto w = MakeWindow(R"(<VerticalLayout><Edit name="e" height="40"/><Control/></VerticalLayout>)");
  auto* e = static_cast<CEditUI*>(w->FindControl(L"e"));
  ClickOn(*w, L"e");
  w->Host()->Type("abcd");
  w->Host()->Key(VK_LEFT);
  w->Host()->Key(VK_LEFT);
  w->Host()->Type("X");
  w->Host()->Key(VK_DELETE);
  w->Host()->Key(VK_HOME);
  w->Host()->Key(VK_RIGHT, MK_SHIFT);
  w->Host()->Type("Y");
  EXPECT_EQ(e->GetText(), L"YbXd");
  w->Host()->Key(VK_RETURN);
  EXPECT_EQ(w->events.back(), "return:e");
}

TEST_F(UiTest, ComboSelectsFromItsDropList) {
  auto w = MakeWindow(R"(<VerticalLayout><Combo name="combo" height="30">
        <ListLabelElement text="视频"/><ListLabelElement text="讲义"/></Combo><Control/></VerticalLayout>)");
  auto* combo = static_cast<CComboUI*>(w->FindControl(L"combo"));
  ClickOn(*w, L"combo");
  ASSERT_TRUE(combo->IsDropped());
  CDuiRect second = combo->GetItemAt(1)->GetPos();
  w->Host()->Click(Center(second).x, Center(second).y);
  EXPECT_FALSE(combo->IsDropped());
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), L"讲义");
  ASSERT_FALSE(w->events.empty());
  EXPECT_EQ(w->events.back(), "itemselect:combo");
  ClickOn(*w, L"combo");
  ClickOn(*w, L"combo");  // the second press on the combo closes the list again
  EXPECT_FALSE(combo->IsDropped());
}

TEST_F(UiTest, ListRowsSelectAndReportClicks) {
  auto w = MakeWindow(R"(<List name="list" itemshowrowline="true" itemlinecolor="#FFE6E6E6"/>)");
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  for (int i = 0; i < 3; ++i) {
    auto row = std::make_unique<CListContainerElementUI>();
    row->ApplyAttributeList(L"height=\"60\"");
    row->SetName(L"row" + std::to_wstring(i));
    auto label = std::make_unique<CLabelUI>();
    label->ApplyAttributeList(L"text=\"第一课\" endellipsis=\"true\" textcolor=\"#FF4D4D4D\"");
    row->Add(label.release());
    list->Add(row.release());
  }
  w->PM().DoLayout();
  ClickOn(*w, L"row1");  // lands on the label, which leaves the click to its row
  ClickOn(*w, L"row1");
  ClickOn(*w, L"row2");
  EXPECT_EQ(w->events, (Events{"itemclick:row1", "itemselect:list", "itemclick:row1", "itemclick:row2",
                               "itemselect:list"}));
  EXPECT_EQ(list->GetCurSel(), 2);
}

TEST_F(UiTest, RemovingTheClickedRowInsideItsNotificationIsSafe) {
  auto w = MakeWindow(R"(<List name="list"><ListContainerElement name="r0" height="40"/>
                         <ListContainerElement name="r1" height="40"/></List>)");
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  w->onMessage = nullptr;
  struct Remover : INotifyUI {
    CListUI* list;
    void Notify(TNotifyUI& msg) override {
      if (msg.sType == DUI_MSGTYPE_ITEMCLICK) list->Remove(msg.pSender);
    }
  } remover;
  remover.list = list;
  w->PM().AddNotifier(&remover);
  ClickOn(*w, L"r0");
  EXPECT_EQ(list->GetRowCount(), 1);
  EXPECT_EQ(w->FindControl(L"r0"), nullptr);
  w->PM().RemoveNotifier(&remover);
}

TEST_F(UiTest, TreeExpandsCollapsesAndSelects) {
  WriteSkin(
      "treeitem.xml",
      R"(<TreeNode height="44"><Label name="lbTitle" float="true" pos="22,0,0,0" width="200" height="44"/></TreeNode>)");
  auto w = MakeWindow(R"(<TreeView name="treeview" visiblefolderbtn="true" visiblecheckbtn="false"/>)");
  auto* tree = static_cast<CTreeViewUI*>(w->FindControl(L"treeview"));
  CDialogBuilder builder;
  auto makeNode = [&](const std::wstring& name) {
    auto node = builder.Create(L"treeitem.xml", nullptr, &w->PM());
    auto* n = static_cast<CTreeNodeUI*>(node.release());
    n->SetName(name);
    return n;
  };
  CTreeNodeUI* exam = makeNode(L"exam");
  CTreeNodeUI* pkg = makeNode(L"pkg");
  exam->Add(pkg);  // built before joining the tree
  pkg->Add(makeNode(L"leaf1"));
  tree->Add(exam);
  tree->Add(makeNode(L"top"));
  pkg->Add(makeNode(L"leaf2"));  // added after joining
  ASSERT_EQ(tree->GetRowCount(), 5);
  EXPECT_EQ(tree->GetRowAt(3)->GetName(), L"leaf2");
  EXPECT_TRUE(exam->IsHasChild());
  EXPECT_FALSE(static_cast<CTreeNodeUI*>(tree->GetRowAt(4))->IsHasChild());
  w->PM().DoLayout();
  EXPECT_EQ(PosOf(*w, L"top").top, 4 * 44);

  ClickOn(*w, L"leaf1");
  EXPECT_EQ(w->events, (Events{"itemclick:leaf1", "itemselect:treeview"}));
  EXPECT_EQ(tree->GetCurSel(), 2);

  // Collapse the exam through its folder button: its whole subtree hides.
  CDuiRect folder = exam->GetFolderButton()->GetPos();
  w->Host()->Click(Center(folder).x, Center(folder).y);
  EXPECT_FALSE(exam->IsExpanded());
  EXPECT_FALSE(pkg->IsVisible());
  EXPECT_FALSE(tree->GetRowAt(3)->IsVisible());
  w->PM().DoLayout();
  EXPECT_EQ(PosOf(*w, L"top").top, 44);
  exam->SetExpanded(true);
  EXPECT_TRUE(tree->GetRowAt(3)->IsVisible());

  w->events.clear();
  CDuiRect topRect = PosOf(*w, L"top");
  w->PM().DoLayout();
  topRect = PosOf(*w, L"top");
  w->Host()->DoubleClick(Center(topRect).x, Center(topRect).y);
  EXPECT_NE(std::find(w->events.begin(), w->events.end(), "treeitemdbclick:top"), w->events.end());
}

// A row's own content (not floating) starts where the item text would: after the
// indentation and the folder button, so it follows the node's level.
TEST_F(UiTest, TreeNodeContentFollowsTheLevel) {
  WriteSkin("row.xml", R"(<TreeNode height="40" itemattr="visible=&quot;false&quot;">)"
                       R"(<Label name="lbTitle" padding="6,0,0,0" height="40"/></TreeNode>)");
  auto w = MakeWindow(R"(<TreeView name="treeview" indent="16" visiblefolderbtn="true"/>)");
  auto* tree = static_cast<CTreeViewUI*>(w->FindControl(L"treeview"));
  CDialogBuilder builder;
  auto make = [&] {
    return static_cast<CTreeNodeUI*>(builder.Create(L"row.xml", nullptr, &w->PM()).release());
  };
  CTreeNodeUI* top = make();
  tree->Add(top);
  CTreeNodeUI* mid = make();
  top->Add(mid);
  CTreeNodeUI* leaf = make();
  mid->Add(leaf);
  w->PM().DoLayout();
  auto titleLeft = [](CTreeNodeUI* node) { return node->FindSubControl(L"lbTitle")->GetPos().left; };
  EXPECT_EQ(titleLeft(top), top->GetFolderButton()->GetPos().right + 6);
  EXPECT_EQ(titleLeft(mid) - titleLeft(top), 16);
  EXPECT_EQ(titleLeft(leaf) - titleLeft(top), 32);
  EXPECT_EQ(leaf->FindSubControl(L"lbTitle")->GetPos().right, leaf->GetPos().right);
}

TEST_F(UiTest, WheelScrollsLongListsAndMovesRows) {
  auto w = MakeWindow(R"(<List name="list" vscrollbar="true" scrollstepsize="30"/>)");
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  for (int i = 0; i < 20; ++i) {
    auto row = std::make_unique<CListLabelElementUI>();
    row->SetFixedHeight(40);
    row->SetText(L"行 " + std::to_wstring(i));
    list->Add(row.release());
  }
  w->PM().DoLayout();
  EXPECT_EQ(list->GetList()->GetScrollRange().cy, 20 * 40 - 300);
  w->Host()->Wheel(100, 100, -1);
  w->Host()->Wheel(100, 100, -1);
  EXPECT_EQ(list->GetList()->GetScrollPos().cy, 60);
  EXPECT_EQ(list->GetRowAt(0)->GetPos().top, -60);
  list->GetList()->EndDown();
  EXPECT_EQ(list->GetRowAt(19)->GetPos().bottom, 300);
  w->Host()->Wheel(100, 100, +1);
  EXPECT_EQ(list->GetList()->GetScrollPos().cy, 500 - 30);
  // Selecting a row out of sight brings it into view.
  list->SelectItem(0);
  EXPECT_EQ(list->GetList()->GetScrollPos().cy, 0);
}

TEST_F(UiTest, TabMovesFocusAmongInputs) {
  auto w = MakeWindow(R"(<VerticalLayout><Edit name="a" height="30"/><Label height="30"/>
                         <Edit name="b" height="30"/><Button name="c" height="30"/></VerticalLayout>)");
  ClickOn(*w, L"a");
  w->Host()->Key(VK_TAB);
  EXPECT_EQ(w->PM().GetFocus(), w->FindControl(L"b"));
  w->Host()->Key(VK_TAB);
  EXPECT_EQ(w->PM().GetFocus(), w->FindControl(L"c"));
  w->Host()->Key(VK_TAB, MK_SHIFT);
  EXPECT_EQ(w->PM().GetFocus(), w->FindControl(L"b"));
}

TEST_F(UiTest, WindowKeepsItsFocusedControlWhileAway) {
  auto w = MakeWindow(R"(<VerticalLayout><Edit name="a" height="30"/><Edit name="b" height="30"/>
                         <Button name="c" height="30"/><Button name="d" height="30"/></VerticalLayout>)");
  ClickOn(*w, L"a");
  w->Host()->Key(VK_TAB);
  ASSERT_EQ(w->PM().GetFocus(), w->FindControl(L"b"));
  w->PM().HandleFocus(false);
  EXPECT_EQ(w->PM().GetFocus(), nullptr);
  w->PM().HandleFocus(true);
  EXPECT_EQ(w->PM().GetFocus(), w->FindControl(L"b"));
  w->Host()->Key(VK_TAB);
  EXPECT_EQ(w->PM().GetFocus(), w->FindControl(L"c"));
  // A kept control that went away while the window was not focused is not brought back.
  w->PM().HandleFocus(false);
  w->FindControl(L"c")->SetVisible(false);
  w->PM().HandleFocus(true);
  EXPECT_EQ(w->PM().GetFocus(), nullptr);
}

// A layer that joins its owner's Tab order makes one ring with it: Tab goes from the
// owner's last stop into the layer and from the layer's last stop back to the owner's
// first, Shift+Tab the other way; a layer that does not join, or is hidden, is passed by.
TEST_F(UiTest, TabGoesOnThroughLayersThatJoinTheOwnersOrder) {
  class TabLayerWnd : public RecordingWnd {
   public:
    TabLayerWnd(std::wstring skin, bool joins) : RecordingWnd(std::move(skin)), m_joins(joins) {}
    bool SharesOwnerTabOrder() const override { return m_joins; }

   private:
    bool m_joins;
  };
  auto owner = MakeWindow(
      R"(<VerticalLayout><Button name="a" height="30"/><Button name="b" height="30"/></VerticalLayout>)");
  auto layer = [&](const std::string& controls, bool joins) {
    WriteSkin("layer.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window size=\"100,100\">\n" +
                               controls + "\n</Window>\n");
    auto w = std::make_unique<TabLayerWnd>(L"layer.xml", joins);
    w->Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
    w->ShowWindow(true, false);
    w->PM().DoLayout();
    return w;
  };
  auto tree = layer(R"(<List name="list"><ListLabelElement name="row" text="一"/></List>)", true);
  auto other = layer(R"(<Button name="c"/>)", false);
  const std::vector<RecordingWnd*> all = {owner.get(), tree.get(), other.get()};
  auto focusedWindow = [&]() -> RecordingWnd* {
    for (RecordingWnd* w : all)
      if (w->Host()->focused) return w;
    return nullptr;
  };
  auto press = [&](UINT modifiers) {
    RecordingWnd* w = focusedWindow();
    if (!w) return std::string("(no window)");
    w->Host()->Key(VK_TAB, modifiers);
    w = focusedWindow();
    CControlUI* f = w ? w->PM().GetFocus() : nullptr;
    return f ? ToUtf8(f->GetName()) : std::string("(none)");
  };
  ASSERT_TRUE(owner->Host()->focused);
  std::vector<std::string> order;
  for (int i = 0; i < 5; ++i) order.push_back(press(0));
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "list", "a", "b"}));
  EXPECT_EQ(tree->PM().GetFocus(), nullptr);
  order.clear();
  for (int i = 0; i < 3; ++i) order.push_back(press(MK_SHIFT));
  EXPECT_EQ(order, (std::vector<std::string>{"a", "list", "b"}));
  // Arrows give the list's row the focus; Tab still goes on from the list.
  EXPECT_EQ(press(0), "list");
  tree->Host()->Key(VK_DOWN);
  ASSERT_EQ(tree->PM().GetFocus(), tree->FindControl(L"row"));
  EXPECT_EQ(press(0), "a");
  tree->ShowWindow(false, false);
  EXPECT_EQ(press(MK_SHIFT), "b");
  EXPECT_EQ(press(0), "a");
}

TEST_F(UiTest, InputMethodPreeditIsShownThenCommitted) {
  auto w = MakeWindow(R"(<VerticalLayout><Edit name="e" height="40" font="0"/><Control/></VerticalLayout>)");
  auto* e = static_cast<CEditUI*>(w->FindControl(L"e"));
  ClickOn(*w, L"e");
  w->Host()->Type("ab");
  HostRect caretBefore = w->Host()->caretRect;
  w->Host()->delegate()->OnHostPreedit("ni", 2);
  EXPECT_EQ(e->GetText(), L"ab");                    // pre-edit text is drawn, not yet typed
  EXPECT_GT(w->Host()->caretRect.x, caretBefore.x);  // the candidate window follows the caret
  w->Host()->delegate()->OnHostPreedit("", 0);
  w->Host()->delegate()->OnHostText("你");
  EXPECT_EQ(e->GetText(), L"ab你");
  ClickOn(*w, L"e");
  EXPECT_TRUE(w->Host()->textInput);
  w->Host()->Click(200, 200);  // focus leaves the edit: the input method is switched off
  EXPECT_FALSE(w->Host()->textInput);
}

TEST_F(UiTest, ListKeysMoveTheSelectionAndDoubleClickActivates) {
  auto w = MakeWindow(
      R"(<List name="list"><ListLabelElement name="a" text="一"/><ListLabelElement name="b" text="二"/>
                         <ListLabelElement name="c" text="三"/></List>)");
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  ClickOn(*w, L"a");
  w->Host()->Key(VK_DOWN);
  w->Host()->Key(VK_DOWN);
  w->Host()->Key(VK_DOWN);  // stays on the last row
  EXPECT_EQ(list->GetCurSel(), 2);
  w->Host()->Key(VK_HOME);
  EXPECT_EQ(list->GetCurSel(), 0);
  w->events.clear();
  CDuiPoint b = Center(PosOf(*w, L"b"));
  w->Host()->DoubleClick(b.x, b.y);
  EXPECT_NE(std::find(w->events.begin(), w->events.end(), "itemactivate:b"), w->events.end());
  EXPECT_EQ(list->GetCurSel(), 1);
}

TEST_F(UiTest, KeyboardReachesWhatTheMouseDoes) {
  auto w = MakeWindow(R"(<VerticalLayout>
    <Edit name="edit" height="30"/>
    <CheckBox name="check" text="Remember" height="30"/>
    <Button name="go" text="Go" height="30"/>
    <List name="list" height="90">
      <ListContainerElement name="r0" height="30"/><ListContainerElement name="r1" height="30"/>
    </List>
  </VerticalLayout>)");
  TestHostWindow* host = w->Host();
  host->Key(VK_TAB);
  EXPECT_EQ(w->PM().GetFocus()->GetName(), L"edit");
  host->Key(VK_TAB);
  host->Key(VK_SPACE);
  EXPECT_TRUE(static_cast<CCheckBoxUI*>(w->FindControl(L"check"))->GetCheck());
  host->Key(VK_TAB);
  w->events.clear();
  host->Key(VK_RETURN);
  EXPECT_EQ(w->events, (Events{"click:go"}));

  // The focused control is marked after keyboard moves, and the mark goes with a click.
  CDuiRect go = PosOf(*w, L"go");
  auto ringAt = [&] {
    cairo_surface_t* s = host->Snapshot();
    cairo_surface_flush(s);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                           (go.top + go.GetHeight() / 2) * cairo_image_surface_get_stride(s));
    uint32_t c = px[go.left + 1] & 0xFFFFFF;
    cairo_surface_destroy(s);
    return c == 0x1A73E8;
  };
  EXPECT_TRUE(ringAt());
  host->SavePng(std::string(TAVO_BINARY_DIR) + "/ui-focus-mark.png");
  ClickOn(*w, L"go");
  EXPECT_FALSE(ringAt());

  // Lists: arrows select, Enter activates the selected row.
  host->Key(VK_TAB);
  EXPECT_EQ(w->PM().GetFocus()->GetName(), L"list");
  w->events.clear();
  host->Key(VK_DOWN);
  host->Key(VK_DOWN);
  host->Key(VK_DOWN);
  host->Key(VK_RETURN);
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_NE(std::find(w->events.begin(), w->events.end(), "itemactivate:r1"), w->events.end());
}

TEST_F(UiTest, TreeArrowsExpandCollapseAndStepOverHiddenRows) {
  WriteSkin("treeitem.xml", R"(<TreeNode height="30"/>)");
  auto w = MakeWindow(R"(<TreeView name="tree" visiblefolderbtn="true"/>)");
  auto* tree = static_cast<CTreeViewUI*>(w->FindControl(L"tree"));
  CDialogBuilder builder;
  auto makeNode = [&](const std::wstring& name) {
    auto* n = static_cast<CTreeNodeUI*>(builder.Create(L"treeitem.xml", nullptr, &w->PM()).release());
    n->SetName(name);
    return n;
  };
  CTreeNodeUI* course = makeNode(L"course");
  tree->Add(course);
  course->Add(makeNode(L"lesson"));
  tree->Add(makeNode(L"next"));
  tree->SelectItem(0, true);
  TestHostWindow* host = w->Host();
  host->Key(VK_LEFT);
  EXPECT_FALSE(course->IsExpanded());
  host->Key(VK_DOWN);  // the lesson row is hidden: the next course is selected
  EXPECT_EQ(tree->GetCurSel(), 2);
  host->Key(VK_UP);
  EXPECT_EQ(tree->GetCurSel(), 0);
  host->Key(VK_RIGHT);
  EXPECT_TRUE(course->IsExpanded());
  host->Key(VK_RIGHT);
  EXPECT_EQ(tree->GetCurSel(), 1);
  host->Key(VK_LEFT);  // a leaf goes to its parent
  EXPECT_EQ(tree->GetCurSel(), 0);
}

TEST_F(UiTest, EscapeClosesAPopupButNotAMainWindow) {
  auto main = MakeWindow(R"(<Button name="b" text="b"/>)");
  main->Host()->Key(VK_ESCAPE);
  PumpPendingMessages();
  EXPECT_TRUE(main->IsWindowVisible());

  class PopupWnd : public RecordingWnd {
   public:
    using RecordingWnd::RecordingWnd;
    HostKind GetHostKind() const override { return HostKind::Popup; }
  };
  WriteSkin("p.xml", R"(<Window size="100,100"><Button name="x" text="x"/></Window>)");
  PopupWnd popup(L"p.xml", L"popupClass");
  popup.Create(main->GetHWND(), L"", WS_POPUP, 0);
  popup.ShowWindow(true);
  popup.Host()->Key(VK_ESCAPE);
  PumpPendingMessages();
  EXPECT_EQ(popup.GetHWND(), kNoWindow);
}

// A scrolled list's rows are painted only inside the list; the pointer must find what is
// painted there, never a row that was scrolled over the header or the footer.
TEST_F(UiTest, PointerFindsOnlyWhatIsShownThroughEveryClip) {
  std::string rows;
  for (int i = 0; i < 12; ++i) {
    std::string n = std::to_string(i);
    // Each row holds a 60 px cell whose 120 px button is cut by the cell.
    rows += "<ListContainerElement name=\"row" + n + "\" height=\"40\" tooltip=\"第" + n +
            "课\"><HorizontalLayout name=\"cell" + n + "\" width=\"60\"><Button name=\"wide" + n +
            "\" width=\"120\"/></HorizontalLayout></ListContainerElement>";
  }
  auto w = MakeWindow(R"(<VerticalLayout>
      <HorizontalLayout name="header" height="40"><Button name="above" tooltip="课程讲义"/></HorizontalLayout>
      <HorizontalLayout name="middle" height="200">
        <List name="list" vscrollbar="true" scrollstepsize="30">)" + rows + R"(</List>
        <Button name="float" float="true" pos="300,10,380,40"/>
      </HorizontalLayout>
      <Button name="below" height="40"/><Control/></VerticalLayout>)");
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  for (int i = 0; i < 3; ++i) w->Host()->Wheel(30, 140, -1);
  ASSERT_EQ(list->GetList()->GetScrollPos().cy, 90);
  // Row i spans 40i-50 .. 40i-10: rows 1 and 2 reach over the header, 7 and 8 over the footer.
  ASSERT_LT(w->FindControl(L"row1")->GetPos().top, 40);
  ASSERT_GT(w->FindControl(L"row8")->GetPos().bottom, 240);

  struct Case {
    const char* what;
    CDuiPoint pt;
    const wchar_t* expect;  // the named control found, or its nearest named ancestor
  };
  const Case cases[] = {
      {"above a scrolled list: the header's button", {30, 20}, L"above"},
      {"first shown row, partly scrolled out", {30, 45}, L"wide2"},
      {"inside a clipped cell: the visible part of its button", {50, 100}, L"wide3"},
      {"beside a clipped cell: the row, not the cut-off button", {100, 100}, L"row3"},
      {"below a scrolled list: the footer's button", {30, 260}, L"below"},
      {"on a float over a list", {320, 60}, L"float"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CControlUI* hit = w->PM().FindControl(c.pt);
    while (hit && hit->GetName().empty()) hit = hit->GetParent();
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(ToUtf8(hit->GetName()), ToUtf8(c.expect));
  }

  // The header's button clicks and shows its own tooltip; the list neither scrolls nor selects.
  w->events.clear();
  w->Host()->MouseMove(30, 20);
  EXPECT_EQ(w->Host()->toolTip, "课程讲义");
  EXPECT_EQ(w->Host()->shownTip.target, (HostRect{0, 0, 400, 40}));
  w->Host()->Click(30, 20);
  EXPECT_EQ(w->events, (Events{"click:above"}));
  EXPECT_EQ(list->GetList()->GetScrollPos().cy, 90);
  EXPECT_EQ(list->GetCurSel(), -1);
  // A button pressed where it shows and released where it is scrolled away does not click.
  w->events.clear();
  w->Host()->MouseDown(30, 45);
  w->Host()->MouseUp(30, 30);
  EXPECT_TRUE(w->events.empty());
}

// Tooltips come in the window's colours, next to the part of the control that shows, and
// go away for good on a click, a scroll, a key or the pointer leaving, until the pointer
// reaches another control.
TEST_F(UiTest, TooltipsFollowTheSkinAndGetOutOfTheWay) {
  auto w = MakeWindow(R"(<VerticalLayout>
      <Button name="menu" height="40" tooltip="菜单"/><Button name="info" height="40" tooltip="个人信息"/>
      <Combo name="combo" height="30" tooltip="清晰度"><ListLabelElement text="高清" height="30"/></Combo>
      <Control/></VerticalLayout>)",
                      R"(size="400,300" tooltipbkcolor="#FF333333" tooltiptextcolor="#FFFFFFFF")");
  TestHostWindow* host = w->Host();
  host->MouseMove(20, 20);
  EXPECT_EQ(host->shownTip.text, "菜单");
  EXPECT_EQ(host->shownTip.background, 0xFF333333u);
  EXPECT_EQ(host->shownTip.textColor, 0xFFFFFFFFu);
  EXPECT_EQ(host->shownTip.target, (HostRect{0, 0, 400, 40}));

  struct Case {
    const char* what;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"click", [&] { host->Click(20, 20); }},
      {"scroll", [&] { host->Wheel(20, 20, -1); }},
      {"key", [&] { host->Key(VK_DOWN); }},
      {"leave", [&] { w->PM().HandleMouse({HostMouseType::Leave, 1, 20, 20}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host->MouseMove(20, 60);  // another control first, so the menu's tooltip may come back
    host->MouseMove(20, 20);
    ASSERT_EQ(host->shownTip.text, "菜单");
    c.act();
    EXPECT_EQ(host->shownTip.text, "");
    host->MouseMove(22, 22);  // moving within the same control does not bring it back
    if (std::string(c.what) != "leave") {
      EXPECT_EQ(host->shownTip.text, "");
    }
  }
  host->MouseMove(20, 60);
  EXPECT_EQ(host->shownTip.text, "个人信息");

  // An open drop-down is a place the tooltip must keep clear of.
  ClickOn(*w, L"combo");
  ASSERT_NE(w->PM().GetPopup(), nullptr);
  host->MouseMove(20, 60);
  host->MouseMove(20, 95);
  EXPECT_EQ(host->shownTip.text, "清晰度");
  const CDuiRect& drop = w->PM().GetPopup()->GetPos();
  EXPECT_EQ(host->shownTip.avoid, (HostRect{drop.left, drop.top, drop.GetWidth(), drop.GetHeight()}));
}

// A disabled control takes no clicks but still says why: its tooltip shows over it, also
// when the pointer comes from its (enabled) parent.
TEST_F(UiTest, DisabledControlsStillShowTheirTooltip) {
  auto w = MakeWindow(R"(<VerticalLayout><HorizontalLayout height="40">
      <Button name="go" width="100" enabled="false" tooltip="请输入账号和密码"/><Control/></HorizontalLayout>
      <Button name="other" height="40" tooltip="其他"/><Control/></VerticalLayout>)");
  TestHostWindow* host = w->Host();
  host->MouseMove(200, 20);
  EXPECT_EQ(host->shownTip.text, "");
  host->MouseMove(50, 20);
  EXPECT_EQ(host->shownTip.text, "请输入账号和密码");
  w->events.clear();
  host->Click(50, 20);
  EXPECT_TRUE(w->events.empty());
  host->MouseMove(50, 60);
  EXPECT_EQ(host->shownTip.text, "其他");
  host->MouseMove(50, 20);
  EXPECT_EQ(host->shownTip.text, "请输入账号和密码");
  w->FindControl(L"go")->SetEnabled(true);
  host->MouseMove(200, 20);
  EXPECT_EQ(host->shownTip.text, "");
}
