// The question window on the test host: when submit is enabled, what is sent, the one-second
// results (success closes and resumes the video, failure returns to the form), reopening.
// Screenshots: <build>/screenshots/question-*.png.
#include "PlayerTestKit.h"
#include "playback/UpVideoQuestionDlg.h"
#include "playback/VideoRightDlg.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/Option.h"

namespace {

class QuestionWindowTest : public PlayerTestKit {
 protected:
  UpVideoQuestionDlg* Open(VideoPlayDlg* player) {
    OpenQuestionWindow(player->GetHWND(), "c1", "l1");
    auto* dlg = dynamic_cast<UpVideoQuestionDlg*>(
        CWindowWnd::FromHandle(FindWindow(L"upVideoQuestionDlgClass", L"问题反馈")));
    EXPECT_NE(dlg, nullptr);
    if (dlg) dlg->GetPaintManager().DoLayout();
    return dlg;
  }
  static void Select(UpVideoQuestionDlg* dlg, const wchar_t* option) {
    dlg->FindControlAs<COptionUI>(option)->Selected(true);
    PumpPendingMessages();
  }
  static void SetText(UpVideoQuestionDlg* dlg, const std::wstring& text) {
    CControlUI* edit = dlg->FindControl(L"edtQuestion");
    edit->SetText(text);
    TNotifyUI msg;
    msg.sType = L"textchanged";
    msg.pSender = edit;
    dlg->Notify(msg);
  }
  static bool SubmitEnabled(UpVideoQuestionDlg* dlg) { return dlg->FindControl(L"btnSubmit")->IsEnabled(); }
};

TEST_F(QuestionWindowTest, SubmitNeedsAKindAndAText) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  UpVideoQuestionDlg* dlg = Open(player);
  ASSERT_NE(dlg, nullptr);
  EXPECT_FALSE(SubmitEnabled(dlg));
  Select(dlg, L"opt3");
  EXPECT_FALSE(SubmitEnabled(dlg));  // a kind without text
  SetText(dlg, L"声音比画面慢");
  EXPECT_TRUE(SubmitEnabled(dlg));
  SetText(dlg, L"");
  EXPECT_FALSE(SubmitEnabled(dlg));
  SetText(dlg, L"声音比画面慢半秒");
  EXPECT_EQ(dlg->SelectedType(), "3");
  SaveScreenshot(dlg, "question-form.png");
}

TEST_F(QuestionWindowTest, SuccessShowsForASecondThenClosesAndResumes) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  UpVideoQuestionDlg* dlg = Open(player);
  ASSERT_NE(dlg, nullptr);
  PumpPendingMessages();
  EXPECT_TRUE(HasScript(L"playerPause()"));
  Select(dlg, L"opt5");
  SetText(dlg, L"播放到一半报错");
  HWND hwnd = dlg->GetHWND();
  CControlUI* tip = dlg->FindControl(L"lbTip");
  static_cast<CButtonUI*>(dlg->FindControl(L"btnSubmit"))->Activate();
  EXPECT_TRUE(dlg->FindControl(L"pageGif")->IsVisible());
  SaveScreenshot(dlg, "question-busy.png");
  ASSERT_TRUE(RunUntil([&] { return tip->IsVisible(); }));
  EXPECT_EQ(tip->GetText(), L"提交成功，请等待老师答复");
  SaveScreenshot(dlg, "question-success.png");
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(hwnd); }));
  EXPECT_EQ(questions, std::vector<std::string>{"5:播放到一半报错"});
  PumpPendingMessages();
  EXPECT_TRUE(HasScript(L"playerPlay()"));
}

TEST_F(QuestionWindowTest, FailureReturnsToTheFormWithItsContents) {
  acceptQuestions = false;
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  UpVideoQuestionDlg* dlg = Open(player);
  ASSERT_NE(dlg, nullptr);
  Select(dlg, L"opt1");
  SetText(dlg, L"一直在缓冲");
  CControlUI* tip = dlg->FindControl(L"lbTip");
  CControlUI* page = dlg->FindControl(L"pageGif");
  static_cast<CButtonUI*>(dlg->FindControl(L"btnSubmit"))->Activate();
  ASSERT_TRUE(RunUntil([&] { return tip->IsVisible(); }));
  EXPECT_EQ(tip->GetText(), L"提交失败，检查是否断网了");
  ASSERT_TRUE(RunUntil([&] { return !page->IsVisible(); }));
  EXPECT_TRUE(IsWindow(dlg->GetHWND()));
  EXPECT_EQ(dlg->FindControl(L"edtQuestion")->GetText(), L"一直在缓冲");
}

TEST_F(QuestionWindowTest, ReopeningGivesTheOpenWindowTheNewLesson) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  UpVideoQuestionDlg* dlg = Open(player);
  ASSERT_NE(dlg, nullptr);
  OpenQuestionWindow(player->GetHWND(), "c9", "l9");
  EXPECT_EQ(FindWindow(L"upVideoQuestionDlgClass", L"问题反馈"), dlg->GetHWND());
  EXPECT_EQ(dlg->GetClassId(), "c9");
  EXPECT_EQ(dlg->GetLessonId(), "l9");
}

TEST_F(QuestionWindowTest, OfflineTheSidePanelOnlySaysSo) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  online = false;
  player->GetRightWindow()->GetPaintManager().DoLayout();
  CControlUI* button = player->GetRightWindow()->FindControl(L"btnUpVideoQuestion");
  static_cast<CButtonUI*>(button)->Activate();
  PumpPendingMessages();
  EXPECT_EQ(FindWindow(L"upVideoQuestionDlgClass", L"问题反馈"), kNoWindow);
}

}  // namespace
