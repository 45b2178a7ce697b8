// Layout rules against expected rectangles, built from skin texts.
#include "UiTestSupport.h"

namespace {
struct Expect {
  const wchar_t* name;
  CDuiRect rect;
};
}  // namespace

class LayoutTest : public UiTest {
 protected:
  void Check(const std::string& controls, std::initializer_list<Expect> expected) {
    auto w = MakeWindow(controls);
    for (const auto& e : expected)
      EXPECT_EQ(PosOf(*w, e.name), e.rect) << ToUtf8(e.name) << " in " << controls;
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
};

TEST_F(LayoutTest, VerticalFixedAndFlexible) {
  Check(R"(<VerticalLayout name="root" inset="10,10,10,10" childpadding="5">
             <Control name="a" height="50"/>
             <Control name="b"/>
             <Control name="c" height="30" width="100"/>
           </VerticalLayout>)",
        {{L"root", {0, 0, 400, 300}},
         {L"a", {10, 10, 390, 60}},
         {L"b", {10, 65, 390, 255}},
         {L"c", {10, 260, 110, 290}}});
}

TEST_F(LayoutTest, HorizontalSharesTheRestAndKeepsMinMax) {
  Check(R"(<HorizontalLayout>
             <Control name="a" width="100"/>
             <Control name="b" maxwidth="50"/>
             <Control name="c"/>
             <Control name="d" minwidth="200"/>
           </HorizontalLayout>)",
        // 300 left after a; b capped at 50; d needs its 200; c gets the 50 left.
        {{L"a", {0, 0, 100, 300}},
         {L"b", {100, 0, 150, 300}},
         {L"c", {150, 0, 200, 300}},
         {L"d", {200, 0, 400, 300}}});
}

TEST_F(LayoutTest, PaddingFloatAndHiddenChildren) {
  Check(R"(<VerticalLayout name="v">
             <Control name="a" height="40" padding="5,6,7,8"/>
             <Control name="hidden" height="100" visible="false"/>
             <Label name="f" float="true" pos="22,0,0,0" width="320" height="44"/>
             <Control name="sep" float="true" pos="0,43,0,0" width="350" height="1"/>
             <Control name="b"/>
           </VerticalLayout>)",
        {{L"a", {5, 6, 393, 46}},
         {L"f", {22, 0, 342, 44}},
         {L"sep", {0, 43, 350, 44}},
         {L"b", {0, 54, 400, 300}}});
}

TEST_F(LayoutTest, ContainerFillsAndAutoWidthLabel) {
  auto w = MakeWindow(R"(<HorizontalLayout>
             <Container name="box" width="120" inset="4,4,4,4"><Control name="inner"/></Container>
             <Label name="auto" text="上一次观看" autocalcwidth="true" textpadding="2,0,2,0"/>
             <Control name="rest"/>
           </HorizontalLayout>)");
  EXPECT_EQ(PosOf(*w, L"inner"), (CDuiRect{4, 4, 116, 296}));
  CDuiRect a = PosOf(*w, L"auto");
  EXPECT_GT(a.GetWidth(), 40);  // five CJK glyphs at 12 px plus padding
  EXPECT_LT(a.GetWidth(), 100);
  EXPECT_EQ(PosOf(*w, L"rest").left, a.right);
}

TEST_F(LayoutTest, ListRowCellsFollowHeaderColumns) {
  auto w = MakeWindow(R"(<List name="list" header="true">
             <ListHeader height="40">
               <ListHeaderItem name="h0" width="27" visible="false"/>
               <ListHeaderItem name="h1"/>
               <ListHeaderItem name="h2" width="160"/>
             </ListHeader>
             <ListContainerElement name="row" height="60" inset="7,0,0,0">
               <Control name="c0"/><Label name="c1" text="第一课"/><Label name="c2" height="20"/>
             </ListContainerElement>
           </List>)");
  EXPECT_EQ(PosOf(*w, L"h1"), (CDuiRect{0, 0, 240, 40}));
  EXPECT_EQ(PosOf(*w, L"row"), (CDuiRect{0, 40, 400, 100}));
  EXPECT_EQ(PosOf(*w, L"c1"), (CDuiRect{7, 40, 240, 100}));
  EXPECT_EQ(PosOf(*w, L"c2"), (CDuiRect{240, 60, 400, 80}));  // fixed height, centred in the row
}

TEST_F(LayoutTest, UnknownTagsAndAttributesAreReportedWithLine) {
  auto w = MakeWindow("<VerticalLayout>\n<Bogus/>\n<Label name=\"l\" colour=\"red\"/>\n</VerticalLayout>");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("w.xml:5"), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("<Bogus>"), std::string::npos);
  EXPECT_NE(problems[1].find("w.xml:6"), std::string::npos) << problems[1];
  EXPECT_NE(w->FindControl(L"l"), nullptr);
}
