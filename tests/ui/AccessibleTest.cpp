// The controls as assistive technology sees them: roles per control class, the flattened
// tree with names and ids, states, actions, text and value, and the change reports.
#include <algorithm>

#include "UiTestSupport.h"
#include "platform/host/AccessibleNode.h"
#include "ui/CheckBox.h"
#include "ui/Container.h"
#include "ui/ControlAccessible.h"
#include "ui/DialogBuilder.h"
#include "ui/Edit.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/Option.h"
#include "ui/Progress.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"

namespace {

AccessibleNode* NodeOf(RecordingWnd& w, const std::wstring& name) {
  CControlUI* c = w.FindControl(name);
  EXPECT_NE(c, nullptr) << ToUtf8(name);
  return c ? c->GetAccessible() : nullptr;
}

std::vector<std::string> ChildIds(const AccessibleNode& node) {
  std::vector<std::string> ids;
  for (AccessibleNode* c : node.Children()) ids.push_back(c->Id());
  return ids;
}

// Records what nodes report, by id.
class RecordingSink : public AccessibleSink {
 public:
  RecordingSink() { SetAccessibleSink(this); }
  ~RecordingSink() override { SetAccessibleSink(nullptr); }
  void OnAccessibleEvent(AccessibleNode* node, AccEvent event) override {
    static const char* kNames[] = {"focus", "state", "name", "children", "text", "value"};
    events.push_back(std::string(kNames[static_cast<int>(event)]) + ":" + node->Id());
  }
  void OnAccessibleGone(AccessibleNode* node) override { gone.push_back(node); }
  bool Saw(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
  std::vector<std::string> events;
  std::vector<AccessibleNode*> gone;
};

}  // namespace

TEST_F(UiTest, EachControlClassGetsItsRole) {
  auto w = MakeWindow(R"(<VerticalLayout>
    <Button name="button" text="b" height="20"/>
    <CheckBox name="check" text="c" height="20"/>
    <Option name="radio" group="g" text="r" height="20"/>
    <Option name="toggle" text="t" height="20"/>
    <Option name="tab" group="tabs" accrole="pagetab" text="tab" height="20"/>
    <Edit name="edit" height="20"/>
    <Edit name="password" password="true" height="20"/>
    <Label name="label" text="l" height="20"/>
    <Label name="emptyLabel" height="20"/>
    <Progress name="progress" height="20"/>
    <Combo name="combo" height="20"><ListLabelElement text="a"/></Combo>
    <List name="list" height="40"><ListContainerElement name="row" height="20"/></List>
    <TreeView name="tree" height="40"/>
    <GifAnim name="gif" height="20"/>
    <Control name="spacer" height="5"/>
    <Control name="icon" tooltip="tip" bkimage="x.png" height="5"/>
    <HorizontalLayout name="layout" height="5"/>
  </VerticalLayout>)");
  struct Case {
    const wchar_t* name;
    AccRole role;
  };
  const Case cases[] = {
      {L"button", AccRole::PushButton},  {L"check", AccRole::CheckBox},          {L"radio", AccRole::RadioButton},
      {L"toggle", AccRole::ToggleButton}, {L"tab", AccRole::PageTab},            {L"edit", AccRole::Text},
      {L"password", AccRole::PasswordText}, {L"label", AccRole::Label},          {L"emptyLabel", AccRole::Unknown},
      {L"progress", AccRole::ProgressBar}, {L"combo", AccRole::ComboBox},        {L"list", AccRole::List},
      {L"row", AccRole::ListItem},        {L"tree", AccRole::Tree},              {L"gif", AccRole::Image},
      {L"spacer", AccRole::Unknown},      {L"icon", AccRole::Image},             {L"layout", AccRole::Panel},
  };
  for (const Case& c : cases) {
    AccessibleNode* node = NodeOf(*w, c.name);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Role(), c.role) << ToUtf8(c.name);
  }
  EXPECT_TRUE(CControlAccessible::IsFlattened(w->FindControl(L"layout")));
  EXPECT_FALSE(CControlAccessible::IsFlattened(w->FindControl(L"list")));
  EXPECT_TRUE(problems.empty());
}

TEST_F(UiTest, ContainersGetTableTabListAndMenuRolesAndPairedLabelsName) {
  auto w = MakeWindow(R"(<VerticalLayout>
    <List name="table" height="100">
      <ListHeader height="20"><ListHeaderItem text="Name" width="100"/><ListHeaderItem text="Length" width="50"/></ListHeader>
      <ListContainerElement name="row" height="30">
        <Label name="title" text="Lesson 1" width="100"/>
        <HorizontalLayout width="50"><Label name="len" text="12:00"/></HorizontalLayout>
        <Label name="blank" width="10"/>
        <Button name="get" text="Get" width="40"/>
      </ListContainerElement>
    </List>
    <HorizontalLayout name="tabs" accrole="pagetablist" height="20">
      <Option name="t1" group="g" accrole="pagetab" text="One" width="50"/>
      <Control width="5"/>
      <Option name="t2" group="g" accrole="pagetab" text="Two" width="50"/>
    </HorizontalLayout>
    <Menu name="menu"><MenuElement name="open" text="Open" height="20"/></Menu>
    <HorizontalLayout height="30">
      <Label name="nickLabel" text="Nickname" width="80"/>
      <Edit name="nick" acclabel="nickLabel" prompttext="Type a nickname"/>
    </HorizontalLayout>
    <Edit name="plain" prompttext="Search" height="20"/>
    <Button name="iconOnly" acclabel="nickLabel" height="20"/>
    <Button name="titled" text="Save" acclabel="nickLabel" height="20"/>
  </VerticalLayout>)");
  struct Case {
    const wchar_t* name;
    AccRole role;
    const char* accessibleName;
  };
  const Case cases[] = {
      {L"table", AccRole::Table, ""},          {L"row", AccRole::TableRow, "Lesson 1, 12:00, Get"},
      {L"title", AccRole::TableCell, "Lesson 1"}, {L"len", AccRole::TableCell, "12:00"},
      {L"blank", AccRole::Unknown, ""},        {L"get", AccRole::PushButton, "Get"},
      {L"tabs", AccRole::PageTabList, ""},     {L"t1", AccRole::PageTab, "One"},
      {L"menu", AccRole::Menu, ""},            {L"open", AccRole::MenuItem, "Open"},
      {L"nickLabel", AccRole::Label, "Nickname"}, {L"nick", AccRole::Text, "Nickname"},
      {L"plain", AccRole::Text, "Search"},     {L"iconOnly", AccRole::PushButton, "Nickname"},
      {L"titled", AccRole::PushButton, "Save"},
  };
  for (const Case& c : cases) {
    AccessibleNode* node = NodeOf(*w, c.name);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Role(), c.role) << ToUtf8(c.name);
    EXPECT_EQ(node->Name(), c.accessibleName) << ToUtf8(c.name);
  }
  EXPECT_EQ(NodeOf(*w, L"len")->Text(), "12:00");
  EXPECT_EQ(ChildIds(*NodeOf(*w, L"row")), (std::vector<std::string>{"title", "len", "get"}));
  EXPECT_EQ(ChildIds(*NodeOf(*w, L"tabs")), (std::vector<std::string>{"t1", "t2"}));
  EXPECT_EQ(ChildIds(*NodeOf(*w, L"menu")), (std::vector<std::string>{"open"}));
  EXPECT_EQ(NodeOf(*w, L"t1")->Parent(), NodeOf(*w, L"tabs"));
  // A list of one column stays a list of items, its labels plain labels.
  auto single = MakeWindow(R"(<List name="list"><ListContainerElement name="item" height="20">
    <Label name="text" text="Only" width="50"/></ListContainerElement></List>)");
  EXPECT_EQ(NodeOf(*single, L"item")->Role(), AccRole::ListItem);
  EXPECT_EQ(NodeOf(*single, L"text")->Role(), AccRole::Label);
  EXPECT_TRUE(problems.empty());
}

TEST_F(UiTest, TreeIsFlattenedAndNamed) {
  auto w = MakeWindow(R"(<VerticalLayout>
    <HorizontalLayout height="30">
      <Control width="20" bkimage="x.png"/>
      <Edit name="user" prompttext="Account" width="200"/>
    </HorizontalLayout>
    <Edit name="pass" password="true" text="secret" tooltip="Password" height="30"/>
    <Button name="go" text="Sign in" height="30"/>
    <Button name="hidden" text="x" visible="false" height="30"/>
    <Button name="icon" tooltip="Close" height="30"/>
    <List name="list" height="100">
      <ListContainerElement name="row" height="30">
        <Label name="title" text="Lesson 1" width="100"/><Label name="len" text="12:00" width="50"/>
      </ListContainerElement>
    </List>
  </VerticalLayout>)");
  AccessibleNode* root = w->AccessibleRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(ChildIds(*root), (std::vector<std::string>{"user", "pass", "go", "icon", "list"}));
  AccessibleNode* user = NodeOf(*w, L"user");
  EXPECT_EQ(user->Name(), "Account");
  EXPECT_EQ(user->Parent(), nullptr);
  EXPECT_EQ(user->Window(), w->GetHostWindow());
  AccessibleNode* pass = NodeOf(*w, L"pass");
  EXPECT_EQ(pass->Name(), "Password");
  EXPECT_TRUE(pass->HasText());
  EXPECT_EQ(pass->Text(), "");
  EXPECT_EQ(NodeOf(*w, L"go")->Name(), "Sign in");
  EXPECT_EQ(NodeOf(*w, L"icon")->Name(), "Close");
  AccessibleNode* row = NodeOf(*w, L"row");
  EXPECT_EQ(row->Name(), "Lesson 1, 12:00");
  EXPECT_EQ(ChildIds(*row), (std::vector<std::string>{"title", "len"}));
  EXPECT_EQ(row->Parent(), NodeOf(*w, L"list"));
  EXPECT_EQ(NodeOf(*w, L"title")->Parent(), row);
  HostRect r = NodeOf(*w, L"go")->Extents();
  EXPECT_EQ(r, (HostRect{0, 60, 400, 30}));
}

TEST_F(UiTest, AccessibleStatesActionsTextAndValue) {
  auto w = MakeWindow(R"(<VerticalLayout>
    <CheckBox name="check" text="Remember" height="20"/>
    <Option name="a" group="g" text="A" height="20" selected="true"/>
    <Option name="b" group="g" text="B" height="20"/>
    <Edit name="edit" height="20"/>
    <Edit name="ro" readonly="true" text="fixed" height="20"/>
    <Button name="off" text="Off" enabled="false" height="20"/>
    <Progress name="progress" min="0" max="200" value="50" height="20"/>
  </VerticalLayout>)");
  AccessibleNode* check = NodeOf(*w, L"check");
  EXPECT_EQ(check->Actions(), (std::vector<std::string>{"toggle"}));
  EXPECT_EQ(check->States() & (kAccCheckable | kAccChecked | kAccEnabled | kAccShowing | kAccFocusable),
            kAccCheckable | kAccEnabled | kAccShowing | kAccFocusable);
  EXPECT_TRUE(check->DoAction(0));
  EXPECT_TRUE(check->States() & kAccChecked);
  EXPECT_FALSE(check->DoAction(1));

  AccessibleNode* b = NodeOf(*w, L"b");
  EXPECT_TRUE(NodeOf(*w, L"a")->States() & kAccChecked);
  EXPECT_TRUE(b->DoAction(0));
  EXPECT_TRUE(b->States() & kAccChecked);
  EXPECT_FALSE(NodeOf(*w, L"a")->States() & kAccChecked);

  AccessibleNode* off = NodeOf(*w, L"off");
  EXPECT_FALSE(off->States() & kAccEnabled);
  EXPECT_FALSE(off->DoAction(0));

  // Text set from outside reaches the window as typing would.
  AccessibleNode* edit = NodeOf(*w, L"edit");
  w->events.clear();
  EXPECT_TRUE(edit->SetText("héllo"));
  EXPECT_EQ(edit->Text(), "héllo");
  EXPECT_EQ(w->events, (std::vector<std::string>{"textchanged:edit"}));
  EXPECT_TRUE(edit->SetCaret(2));
  EXPECT_EQ(edit->Caret(), 2);
  EXPECT_TRUE(edit->States() & kAccEditable);
  EXPECT_TRUE(edit->GrabFocus());
  EXPECT_TRUE(edit->States() & kAccFocused);
  AccessibleNode* ro = NodeOf(*w, L"ro");
  EXPECT_FALSE(ro->States() & kAccEditable);
  EXPECT_FALSE(ro->SetText("changed"));
  EXPECT_EQ(ro->Text(), "fixed");

  AccessibleNode* progress = NodeOf(*w, L"progress");
  ASSERT_TRUE(progress->HasValue());
  EXPECT_EQ(progress->Value(), 50);
  EXPECT_EQ(progress->MaxValue(), 200);
  EXPECT_FALSE(progress->SetValue(10));
}

TEST_F(UiTest, TreeNodesExpandThroughTheirAction) {
  WriteSkin("treeitem.xml", R"(<TreeNode height="30"/>)");
  auto w = MakeWindow(R"(<TreeView name="tree" visiblefolderbtn="true"/>)");
  auto* tree = static_cast<CTreeViewUI*>(w->FindControl(L"tree"));
  CDialogBuilder builder;
  auto makeNode = [&](const std::wstring& name, const std::wstring& text) {
    auto* n = static_cast<CTreeNodeUI*>(builder.Create(L"treeitem.xml", nullptr, &w->PM()).release());
    n->SetName(name);
    n->SetItemText(text);
    return n;
  };
  CTreeNodeUI* course = makeNode(L"course", L"Algebra");
  tree->Add(course);
  course->Add(makeNode(L"lesson", L"Lesson 1"));
  // A node whose skin hides the item text and shows a label of its own reads as the label.
  CTreeNodeUI* titled = makeNode(L"titled", L"");
  auto title = std::make_unique<CLabelUI>();
  title->SetText(L"Geometry");
  titled->Add(title.release());
  tree->Add(titled);
  EXPECT_EQ(titled->GetAccessible()->Name(), "Geometry");
  // The tree is the one keyboard stop: the nodes' folder buttons are not stops of their own.
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(w->PM().SetNextTabControl(true));
    EXPECT_EQ(w->PM().GetFocus(), tree) << i;
  }
  AccessibleNode* node = course->GetAccessible();
  EXPECT_EQ(node->Name(), "Algebra");
  EXPECT_EQ(node->Children().size(), 0u);
  EXPECT_EQ(ChildIds(*tree->GetAccessible()), (std::vector<std::string>{"course", "lesson", "titled"}));
  EXPECT_EQ(node->Actions(), (std::vector<std::string>{"activate", "expand or contract"}));
  EXPECT_EQ(node->States() & (kAccExpandable | kAccExpanded), kAccExpandable | kAccExpanded);
  EXPECT_TRUE(node->DoAction(1));
  EXPECT_FALSE(course->IsExpanded());
  EXPECT_EQ(ChildIds(*tree->GetAccessible()), (std::vector<std::string>{"course", "titled"}));
}

TEST_F(UiTest, ChangesAreReportedForNodesSomeoneAskedAbout) {
  RecordingSink sink;
  auto w = MakeWindow(R"(<VerticalLayout>
    <Edit name="edit" height="20"/>
    <CheckBox name="check" text="Remember" height="20"/>
    <Button name="send" text="Get code" height="20"/>
    <Progress name="progress" height="20"/>
    <List name="list" height="100"/>
    <HorizontalLayout name="box" height="20"><Label name="tip" text="tip" width="50"/></HorizontalLayout>
  </VerticalLayout>)");
  // Nodes nobody asked about report nothing but focus.
  w->FindControl(L"check")->Activate();
  w->FindControl(L"edit")->SetFocus();
  EXPECT_EQ(sink.events, (std::vector<std::string>{"focus:edit"}));

  for (const wchar_t* name : {L"check", L"send", L"progress", L"list", L"tip"}) NodeOf(*w, name);
  w->AccessibleRoot();
  sink.events.clear();
  w->FindControl(L"check")->SetFocus();
  w->FindControl(L"check")->Activate();
  w->FindControl(L"send")->SetText(L"59 s");
  w->FindControl(L"send")->SetEnabled(false);
  static_cast<CProgressUI*>(w->FindControl(L"progress"))->SetValue(30);
  EXPECT_EQ(sink.events, (std::vector<std::string>{"state:edit", "focus:check", "state:check", "name:send",
                                                   "text:send", "state:send", "value:progress"}));

  // Rows added to a list, and a control hidden inside a flattened layout: the nearest
  // accessible ancestor (the list, the window's root) reports its children changed.
  sink.events.clear();
  auto* list = static_cast<CListUI*>(w->FindControl(L"list"));
  auto row = std::make_unique<CListContainerElementUI>();
  row->SetName(L"row");
  list->Add(row.release());
  w->FindControl(L"tip")->SetVisible(false);
  EXPECT_TRUE(sink.Saw("children:list"));
  EXPECT_TRUE(sink.Saw("state:tip"));
  EXPECT_TRUE(sink.Saw("children:" + ToUtf8(w->PM().GetRoot()->GetName())));
  EXPECT_EQ(ChildIds(*list->GetAccessible()), (std::vector<std::string>{"row"}));

  // A row reads as the texts inside it, so a changed text renames the row.
  auto cell = std::make_unique<CLabelUI>();
  CLabelUI* cellPtr = cell.get();
  static_cast<CContainerUI*>(list->GetRowAt(0))->Add(cell.release());
  AccessibleNode* rowNode = list->GetRowAt(0)->GetAccessible();
  sink.events.clear();
  cellPtr->SetText(L"12:00");
  EXPECT_TRUE(sink.Saw("name:row"));
  EXPECT_EQ(rowNode->Name(), "12:00");

  list->RemoveAt(0);
  w->PM().FlushAsyncNotify();
  PumpPendingMessages();
  EXPECT_TRUE(ChildIds(*list->GetAccessible()).empty());
  w.reset();
  EXPECT_NE(std::find(sink.gone.begin(), sink.gone.end(), rowNode), sink.gone.end());
}

// A download row is one tree item whose own buttons (pause, delete) a screen reader must
// reach and press; the node's folder and check boxes stay its actions, its texts its name.
TEST_F(UiTest, TreeItemsOfferTheirRowsButtons) {
  WriteSkin("row.xml", R"(<TreeNode height="55" checkboxattr="width=&quot;18&quot;">
      <Label name="title" float="true" pos="36,8,0,0" width="200" height="18" text="第一课"/>
      <Button name="status" float="true" pos="282,18,0,0" width="18" height="18" tooltip="暂停"/>
      <Button name="delete" float="true" pos="312,18,0,0" width="18" height="18" tooltip="删除"/>
    </TreeNode>)");
  auto w = MakeWindow(R"(<TreeView name="tree" visiblefolderbtn="true" visiblecheckbtn="true"/>)");
  auto* tree = static_cast<CTreeViewUI*>(w->FindControl(L"tree"));
  CDialogBuilder builder;
  auto* row = static_cast<CTreeNodeUI*>(builder.Create(L"row.xml", nullptr, &w->PM()).release());
  row->SetName(L"row");
  tree->Add(row);
  w->PM().DoLayout();
  AccessibleNode* node = row->GetAccessible();
  EXPECT_EQ(node->Name(), "第一课");
  EXPECT_EQ(ChildIds(*node), (std::vector<std::string>{"status", "delete"}));
  AccessibleNode* status = NodeOf(*w, L"status");
  EXPECT_EQ(status->Name(), "暂停");
  EXPECT_EQ(status->Parent(), node);
  EXPECT_EQ(status->Actions(), (std::vector<std::string>{"click"}));
  w->events.clear();
  EXPECT_TRUE(status->DoAction(0));
  EXPECT_EQ(NodeOf(*w, L"delete")->Name(), "删除");
  EXPECT_TRUE(NodeOf(*w, L"delete")->DoAction(0));
  EXPECT_EQ(w->events, (std::vector<std::string>{"click:status", "click:delete"}));
}
