// Bookmarks from the online player: Ctrl+B and the side panel's "书  签" keep the lesson at
// the moment the page last reported (moved on while it plays), with the student's note;
// a playing lecture waits while the student writes and goes on afterwards; offline the
// button still works (the note stays on this computer).
// Screenshot: <build>/screenshots/player-side-panel.png.
#include "PlayerTestKit.h"
#include "app/Folders.h"
#include "mainwnd/NoteTaking.h"
#include "playback/PlayerScripts.h"
#include "playback/VideoRightDlg.h"
#include "ui/Button.h"

namespace {

class PlayerBookmarkTest : public PlayerTestKit {
 protected:
  void SetUp() override {
    PlayerTestKit::SetUp();
    SetSignedInAccount("xm");
  }
  // Answers the dialog with `text`, remembering what it was asked and which scripts had run.
  NoteAsker Answer(const std::string& text) {
    return [this, text](HWND, const NoteQuestion& question) -> std::optional<NoteAnswer> {
      asked.push_back(question.place);
      scriptsWhenAsked = scripts.size();
      return NoteAnswer{text, 1};
    };
  }
  std::vector<std::wstring> asked;
  size_t scriptsWhenAsked = 0;
};

TEST_F(PlayerBookmarkTest, CtrlBKeepsThePausedMomentWithTheNote) {
  VideoPlayDlg* player = OpenPlayer(1);
  ASSERT_NE(player, nullptr);
  const HWND hwnd = player->GetHWND();
  Call(hwnd, L"playState", LR"({"state":"paused","time":754.6,"duration":1800})");
  player->SetNoteAsker(Answer("主旨概括：先找转折"));
  HostOf(player)->Key('B', 0x8);  // Ctrl
  PumpPendingMessages();

  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], Utf8ToWide(lessons[1].name) + L" · 12:34");
  const std::vector<Note> notes = NoteBook(NotesDbPath()).All();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].kind, NoteKind::Lesson);
  EXPECT_EQ(notes[0].itemId, lessons[1].id);
  EXPECT_EQ(notes[0].classId, "c1");
  EXPECT_EQ(notes[0].title, lessons[1].name);
  EXPECT_EQ(notes[0].position, 754);
  EXPECT_EQ(notes[0].text, "主旨概括：先找转折");
  EXPECT_FALSE(HasScript(kScriptPlayerPause)) << "a paused lecture is not paused again";
  EXPECT_FALSE(HasScript(kScriptPlayerPlay)) << "nor started";
}

TEST_F(PlayerBookmarkTest, TheSidePanelButtonPausesAPlayingLectureWhileAskingEvenOffline) {
  VideoPlayDlg* player = OpenPlayer(0);
  ASSERT_NE(player, nullptr);
  online = false;
  Call(player->GetHWND(), L"playState", LR"({"state":"playing","time":30,"duration":1800})");
  player->SetNoteAsker(Answer(""));
  player->GetRightWindow()->ShowWindow(true, false);
  player->GetRightWindow()->GetPaintManager().DoLayout();
  SaveScreenshot(player->GetRightWindow(), "player-side-panel.png");
  auto* button = dynamic_cast<CButtonUI*>(player->GetRightWindow()->FindControl(L"btnAddNote"));
  ASSERT_NE(button, nullptr);
  button->Activate();
  PumpPendingMessages();

  ASSERT_EQ(asked.size(), 1u);
  ASSERT_GE(scriptsWhenAsked, 1u);
  EXPECT_EQ(scripts[scriptsWhenAsked - 1], kScriptPlayerPause) << "paused before the question";
  EXPECT_EQ(scripts.back(), kScriptPlayerPlay) << "playing again after it";
  const std::vector<Note> notes = NoteBook(NotesDbPath()).All();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_GE(notes[0].position, 30);
  EXPECT_LT(notes[0].position, 40);
  EXPECT_EQ(notes[0].text, "");
}

}  // namespace
