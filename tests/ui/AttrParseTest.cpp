// Attribute texts as the skins and the windows write them, and hostile ones.
#include <gtest/gtest.h>

#include "ui/AttrParse.h"
#include "ui/Label.h"
#include "ui/UIText.h"

TEST(AttrParse, Colours) {
  struct Case {
    const wchar_t* text;
    bool ok;
    DWORD value;
  } cases[] = {
      {L"#FF4D4D4D", true, 0xFF4D4D4D},
      {L"#7DFF854D", true, 0x7DFF854D},
      {L"#ffe6e6e6", true, 0xFFE6E6E6},
      {L"#4D4D4D", true, 0xFF4D4D4D},
      {L"0xFF000000", true, 0xFF000000},
      {L" #FF112233 ", true, 0xFF112233},
      {L"FF4D4D4D", false, 0},
      {L"#FF4D4D4", false, 0},
      {L"#GG4D4D4D", false, 0},
      {L"", false, 0},
      {L"#", false, 0},
      {L"#FF4D4D4D00", false, 0},
  };
  for (const auto& c : cases) {
    DWORD v = 0;
    EXPECT_EQ(ParseColor(c.text, v), c.ok) << ToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << ToUtf8(c.text);
    }
  }
}

TEST(AttrParse, RectanglesSizesNumbersBooleans) {
  CDuiRect r;
  EXPECT_TRUE(ParseRect(L"7,0,0,0", r));
  EXPECT_EQ(r, (CDuiRect{7, 0, 0, 0}));
  EXPECT_TRUE(ParseRect(L"-7, 0, 3 ,43", r));
  EXPECT_EQ(r, (CDuiRect{-7, 0, 3, 43}));
  for (const wchar_t* bad : {L"1,2,3", L"1,2,3,4,5", L"a,b,c,d", L"1,,3,4", L"", L"99999999999,0,0,0"})
    EXPECT_FALSE(ParseRect(bad, r)) << ToUtf8(bad);
  CDuiSize s;
  EXPECT_TRUE(ParseSize(L"1366,768", s));
  EXPECT_EQ(s.cx, 1366);
  EXPECT_FALSE(ParseSize(L"1366", s));
  bool b = false;
  EXPECT_TRUE(ParseBool(L"true", b) && b);
  EXPECT_TRUE(ParseBool(L"false", b) && !b);
  EXPECT_FALSE(ParseBool(L"yes", b));
  int n = 0;
  EXPECT_TRUE(ParseInt(L"-12", n));
  EXPECT_EQ(n, -12);
  EXPECT_FALSE(ParseInt(L"12px", n));
}

TEST(AttrParse, Images) {
  TImageAttr img;
  ASSERT_TRUE(ParseImage(L"icon_play.png", img));
  EXPECT_EQ(img.file, L"icon_play.png");
  EXPECT_FALSE(img.hasDest);
  ASSERT_TRUE(ParseImage(L"file='x.png' dest='0,18,24,42'", img));
  EXPECT_EQ(img.file, L"x.png");
  EXPECT_TRUE(img.hasDest);
  EXPECT_EQ(img.dest, (CDuiRect{0, 18, 24, 42}));
  ASSERT_TRUE(
      ParseImage(L"file=\"bk.png\" source=\"0,0,10,10\" corner=\"2,2,2,2\" fade=\"128\" hole=\"true\"", img));
  EXPECT_EQ(img.source, (CDuiRect{0, 0, 10, 10}));
  EXPECT_EQ(img.corner, (CDuiRect{2, 2, 2, 2}));
  EXPECT_EQ(img.fade, 128);
  EXPECT_TRUE(img.hole);
  for (const wchar_t* bad : {L"file='x.png' dest='0,18'", L"file='x.png", L"dest='0,0,1,1'",
                             L"file='x.png' fade='300'", L"file='x.png' bogus='1'", L"file=x.png"})
    EXPECT_FALSE(ParseImage(bad, img)) << ToUtf8(bad);
}

TEST(AttrParse, AttributeListsTakeBothQuotesAndEntities) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  ASSERT_TRUE(ParseAttributeList(
      L"textcolor=\"#FF4D4D4D\" height='60' innerstyle=\"checkboxattr=&quot;treenode_checkbox_style&quot;\"",
      out));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[1].second, L"60");
  EXPECT_EQ(out[2].second, L"checkboxattr=\"treenode_checkbox_style\"");
  EXPECT_FALSE(ParseAttributeList(L"text=\"unterminated", out));
  EXPECT_FALSE(ParseAttributeList(L"=\"x\"", out));
  EXPECT_FALSE(ParseAttributeList(L"text=bare", out));
  EXPECT_TRUE(ParseAttributeList(L"   ", out));
  EXPECT_TRUE(out.empty());
}

TEST(AttrParse, ControlsReportWhatTheyIgnoreAndKeepTheRest) {
  std::vector<std::wstring> reported;
  CControlUI::SetBadAttributeSink([&](const std::wstring& t) { reported.push_back(t); });
  CLabelUI label;
  EXPECT_FALSE(label.ApplyAttributeList(
      L"textcolor=\"#FF292929\" bogus=\"1\" font=\"5\" width=\"abc\" endellipsis=\"true\" align=\"center\""));
  EXPECT_EQ(label.GetTextColor(), 0xFF292929u);
  EXPECT_EQ(label.GetFont(), 5);
  EXPECT_EQ(label.GetFixedWidth(), 0);
  EXPECT_EQ(label.GetTextStyle() & (DT_END_ELLIPSIS | DT_CENTER), DT_END_ELLIPSIS | DT_CENTER);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[0].find(L"bogus"), std::wstring::npos);
  EXPECT_NE(reported[1].find(L"width"), std::wstring::npos);
  CControlUI::SetBadAttributeSink(nullptr);
}
