// Notes in the main window on the test host: bookmarks taken for one account are there
// after signing out and in again (and not for another account), still read when their
// class has left the catalogue, and choosing one plays its lesson from its moment (online,
// once the class's lessons arrive, or the downloaded copy) or opens its document at its
// page. The export writes a new Markdown file and never replaces one.
// Screenshot: <build>/screenshots/notes-view.png.
#include <filesystem>
#include <fstream>

#include "account/WindowTestKit.h"
#include "app/Folders.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "mainwnd/NoteEditDlg.h"
#include "mainwnd/NoteTaking.h"
#include "mainwnd/NotesView.h"
#include "mainwnd/PlayerLink.h"
#include "platform/Messages.h"
#include "service/Records.h"
#include "study/NoteGroups.h"
#include "ui/Button.h"
#include "ui/Container.h"
#include "ui/Option.h"

namespace fs = std::filesystem;

namespace {

ClassRecord Class(const std::string& id, const std::string& name) {
  ClassRecord c;
  c.id = id;
  c.name = name;
  return c;
}

LessonRecord Lesson(const std::string& id, const std::string& name) {
  LessonRecord l;
  l.id = id;
  l.name = name;
  l.video = "v" + id;
  l.learned_duration = "12";
  return l;
}

// Answers the bookmark dialog with `text` (and a page for a document).
NoteAsker Answer(const std::string& text, int64_t page = 0) {
  return [text, page](HWND, const NoteQuestion& q) -> std::optional<NoteAnswer> {
    return NoteAnswer{text, page > 0 ? page : q.page};
  };
}

// The control named `name` with `data` under `root`.
CControlUI* FindNamed(CControlUI* root, const std::wstring& name, const std::wstring& data) {
  if (!root) return nullptr;
  if (root->GetName() == name && root->GetUserData() == data) return root;
  if (auto* box = dynamic_cast<CContainerUI*>(root))
    for (int i = 0; i < box->GetCount(); ++i)
      if (CControlUI* found = FindNamed(box->GetItemAt(i), name, data)) return found;
  return nullptr;
}

struct Played {
  std::string classId;
  std::string lessonId;
  std::string from;
};

class NotesViewTest : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    SignIn("lixiaoming");
    gSubjectList.Clear();
    DownloadTaskList::Get().Clear();
    SetPlayOnline([this](const std::string& classId, const LessonRecord& lesson) {
      played.push_back({classId, lesson.id, lesson.learned_duration});
    });
  }
  void TearDown() override {
    SetPlayOnline(nullptr);
    CloseMain();
    DownloadTaskList::Get().Clear();
    gSubjectList.Clear();
    WindowTestKit::TearDown();
  }
  static void SignIn(const std::string& account) { SetSignedInAccount(account); }
  static void CloseMain() {
    if (MainDlg* main = GetMainDlg()) {
      main->SetQuitOnFinal(false);
      main->DestroyWindow();
    }
    PumpPendingMessages();
  }

  // The main window over a catalogue whose classes come from `fetch`, on its notes tab.
  MainDlg* OpenNotes(CourseCatalogue::Fetcher fetch = [](const std::string&, ClassDetail&) {
    return ClassDetailResult::NoAnswer;
  }) {
    CloseMain();
    m_catalogue = std::make_unique<CourseCatalogue>(std::move(fetch));
    MainDlg* main = OpenMainWindow(nullptr, m_catalogue.get(), nullptr);
    EXPECT_NE(main, nullptr);
    if (!main) return nullptr;
    main->GetPaintManager().DoLayout();
    PumpPendingMessages();
    Click(main, main->FindControl(L"optMyNotes"));
    EXPECT_EQ(main->GetView(), MainDlg::View::Notes);
    return main;
  }
  void Click(MainDlg* main, CControlUI* control) {
    ASSERT_NE(control, nullptr);
    main->GetPaintManager().DoLayout();
    const CDuiRect r = control->GetPos();
    HostOf(main)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  // The "open" button of the shown note whose text is `text`.
  CControlUI* OpenButtonOf(MainDlg* main, const std::string& text) {
    const std::vector<Note>& shown = main->GetNotesView()->Shown();
    for (size_t i = 0; i < shown.size(); ++i)
      if (shown[i].text == text)
        return FindNamed(main->FindControl(L"vlNotesList"), L"btnNoteOpen", std::to_wstring(i));
    ADD_FAILURE() << "no note " << text;
    return nullptr;
  }
  std::vector<std::string> ShownTexts(MainDlg* main) {
    std::vector<std::string> texts;
    for (const Note& note : main->GetNotesView()->Shown()) texts.push_back(note.text);
    return texts;
  }
  // A finished download of the class's item at a file of its own.
  fs::path Downloaded(const std::string& classId, const std::string& id, TaskKind kind, const std::string& name) {
    const fs::path file = m_root / name;
    std::ofstream(file, std::ios::binary) << (kind == TaskKind::Document ? "%PDF-1.4\n" : "video bytes");
    DownloadTask task;
    task.id = id;
    task.classId = classId;
    task.name = name;
    task.kind = kind;
    task.localFile = file.string();
    task.fullSize = static_cast<int64_t>(fs::file_size(file));
    DownloadTaskList::Get().AddClass(classId, "下载的班级", kind);
    DownloadTaskList::Get().AddTask(task, kind);
    return file;
  }

  std::vector<Played> played;
  std::unique_ptr<CourseCatalogue> m_catalogue;
};

Note LessonDraft(const std::string& classId, const std::string& lessonId, const std::string& title, int64_t at) {
  return {0, NoteKind::Lesson, lessonId, classId, title, at, "", 0};
}

TEST_F(NotesViewTest, NotesOutliveSignOutAndTheirClassLeavingTheCatalogue) {
  ASSERT_EQ(TakeNote(kNoWindow, LessonDraft("c1", "L1", "第1讲 主旨概括", 125), Answer("主旨概括的答题步骤")),
            NoteTaken::Kept);
  ASSERT_EQ(TakeNote(kNoWindow, {0, NoteKind::Document, "D1", "c2", "片段阅读讲义", 1, "", 0}, Answer("", 7)),
            NoteTaken::Kept);
  EXPECT_EQ(TakeNote(kNoWindow, LessonDraft("c1", "L1", "第1讲", 5),
                     [](HWND, const NoteQuestion&) { return std::optional<NoteAnswer>(); }),
            NoteTaken::Cancelled);

  // Another account on this computer has its own notes: none.
  SignIn("wangfang");
  {
    MainDlg* main = OpenNotes();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->GetNotesView()->Shown().empty());
    EXPECT_TRUE(main->FindControl(L"lbNotesEmpty")->IsVisible());
  }

  // Back as the first account; class c1 is no longer bought, c2 still is.
  SignIn("lixiaoming");
  gSubjectList.Classes = {Class("c2", "言语理解精讲班")};
  MainDlg* main = OpenNotes();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ShownTexts(main), (std::vector<std::string>{"", "主旨概括的答题步骤"})) << "newest first";
  EXPECT_EQ(main->GetNotesView()->Shown()[1].title, "第1讲 主旨概括");
  EXPECT_EQ(main->GetNotesView()->Shown()[0].position, 7);
  SaveScreenshot(main, "notes-view.png");

  // Its class gone and nothing downloaded, the lesson cannot play: the student is told.
  Click(main, OpenButtonOf(main, "主旨概括的答题步骤"));
  EXPECT_TRUE(played.empty());
}

TEST_F(NotesViewTest, ChoosingALessonNotePlaysItFromItsMomentOnceTheLessonsArrive) {
  gSubjectList.Classes = {Class("c1", "言语理解精讲班")};
  TakeNote(kNoWindow, LessonDraft("c1", "L2", "第2讲", 754), Answer("细节判断"));
  // The class's lessons are fetched only when asked for.
  MainDlg* main = OpenNotes([](const std::string& classId, ClassDetail& detail) {
    detail.classId = classId;
    detail.lessons = {Lesson("L1", "第1讲"), Lesson("L2", "第2讲")};
    return ClassDetailResult::Filled;
  });
  ASSERT_NE(main, nullptr);
  Click(main, OpenButtonOf(main, "细节判断"));
  ASSERT_TRUE(RunUntil([&] { return !played.empty(); }));
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].classId, "c1");
  EXPECT_EQ(played[0].lessonId, "L2");
  EXPECT_EQ(played[0].from, "754") << "the player starts at the note's moment, not where the student stopped";

  // Again, with the lessons here: at once.
  Click(main, OpenButtonOf(main, "细节判断"));
  ASSERT_EQ(played.size(), 2u);
  EXPECT_EQ(played[1].from, "754");
}

TEST_F(NotesViewTest, DownloadedLessonsPlayLocallyAndDocumentsOpenAtTheirPage) {
  // c9 left the catalogue, but its lesson and document were downloaded.
  const fs::path video = Downloaded("c9", "L9", TaskKind::Video, "第9讲.mp4");
  const fs::path doc = Downloaded("c9", "D9", TaskKind::Document, "第9讲讲义.pdf");
  TakeNote(kNoWindow, LessonDraft("c9", "L9", "第9讲", 61), Answer("lesson"));
  TakeNote(kNoWindow, {0, NoteKind::Document, "D9", "c9", "第9讲讲义", 1, "", 0}, Answer("doc", 12));
  MainDlg* main = OpenNotes();
  ASSERT_NE(main, nullptr);
  std::string localFile;
  int64_t localFrom = -1;
  main->GetNotesView()->Opener().SetLocalPlay([&](const DownloadTask& task, int64_t seconds) {
    localFile = task.localFile;
    localFrom = seconds;
  });
  Click(main, OpenButtonOf(main, "lesson"));
  EXPECT_EQ(localFile, video.string());
  EXPECT_EQ(localFrom, 61);
  EXPECT_TRUE(played.empty());

  Click(main, OpenButtonOf(main, "doc"));
  auto* viewer = dynamic_cast<LookDocDlg*>(CWindowWnd::FromHandle(FindWindow(L"lookDocDlgClass", L"")));
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetPath(), doc.string());
  EXPECT_EQ(viewer->GetPage(), 12);

  // A bookmark from the viewer starts at the page it shows and names the document.
  viewer->SetNoteAsker(Answer("from the viewer"));
  EXPECT_TRUE(viewer->AddBookmark());
  const Note kept = NoteBook(NotesDbPath()).All().at(0);
  EXPECT_EQ(kept.kind, NoteKind::Document);
  EXPECT_EQ(kept.itemId, "D9");
  EXPECT_EQ(kept.classId, "c9");
  EXPECT_EQ(kept.position, 12);
  EXPECT_EQ(kept.title, "第9讲讲义");
}

TEST_F(NotesViewTest, ExportWritesANewFileAndNeverReplacesOne) {
  gSubjectList.Classes = {Class("c1", "言语理解精讲班")};
  TakeNote(kNoWindow, LessonDraft("c1", "L1", "第1讲", 65), Answer("标题填入题"));
  MainDlg* main = OpenNotes();
  ASSERT_NE(main, nullptr);
  NotesView& view = *main->GetNotesView();
  const fs::path target = m_root / "我的笔记.md";
  view.SetExportChooser([&] { return Utf8ToWide(target.string()); });
  Click(main, main->FindControl(L"btnExportNotes"));
  std::ifstream in(target);
  const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(written.find("## 言语理解精讲班"), std::string::npos) << written;
  EXPECT_NE(written.find("- [01:05] 标题填入题"), std::string::npos) << written;

  const fs::path mine = m_root / "别人的文件.md";
  std::ofstream(mine) << "the student's own text";
  view.SetExportChooser([&] { return Utf8ToWide(mine.string()); });
  EXPECT_EQ(view.Export(), NotesExport::Exists);
  std::ifstream kept(mine);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()),
            "the student's own text");
  view.SetExportChooser([] { return std::wstring(); });
  EXPECT_EQ(view.Export(), NotesExport::Cancelled);
  EXPECT_EQ(WriteNewFile((m_root / "no-such-folder" / "x.md").string(), "x"), NotesExport::Failed);
}

TEST_F(NotesViewTest, RemovingANoteTakesItOffTheList) {
  TakeNote(kNoWindow, LessonDraft("c1", "L1", "第1讲", 1), Answer("keep"));
  TakeNote(kNoWindow, LessonDraft("c1", "L1", "第1讲", 2), Answer("drop"));
  MainDlg* main = OpenNotes();
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(ShownTexts(main), (std::vector<std::string>{"drop", "keep"}));
  Click(main, FindNamed(main->FindControl(L"vlNotesList"), L"btnNoteRemove", L"0"));
  ASSERT_TRUE(RunUntil([&] { return main->GetNotesView()->Shown().size() == 1; }));
  EXPECT_EQ(ShownTexts(main), std::vector<std::string>{"keep"});
}

TEST(NoteEditPage, OnlyAWholePageNumberIsAccepted) {
  const struct {
    const wchar_t* typed;
    std::optional<int64_t> page;
  } cases[] = {{L"1", 1}, {L"0012", 12}, {L"99999", 99999}, {L"0", std::nullopt}, {L"", std::nullopt},
               {L"-3", std::nullopt}, {L"3页", std::nullopt}, {L"100000", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ReadPage(c.typed), c.page) << WideToUtf8(c.typed);
}

TEST_F(NotesViewTest, TheBookmarkDialogKeepsAskingUntilThePageReads) {
  NoteEditDlg dialog({L"片段阅读讲义", true, 7});
  ASSERT_NE(dialog.Create(kNoWindow, L"添加书签", WS_POPUP, 0, 0, 0, NoteEditDlg::kWidth, NoteEditDlg::kHeight),
            kNoWindow);
  dialog.ShowWindow(true, false);
  dialog.GetPaintManager().DoLayout();
  EXPECT_EQ(dialog.FindControl(L"edNotePage")->GetText(), L"7");
  SaveScreenshot(&dialog, "note-edit-dialog.png");
  dialog.FindControl(L"edNotePage")->SetText(L"x");
  static_cast<CButtonUI*>(dialog.FindControl(L"btnOk"))->Activate();
  PumpPendingMessages();
  EXPECT_TRUE(IsWindow(dialog.GetHWND())) << "not a page: the dialog stays";
  dialog.FindControl(L"edNotePage")->SetText(L"9");
  dialog.FindControl(L"edNoteText")->SetText(L"第三段是主旨");
  static_cast<CButtonUI*>(dialog.FindControl(L"btnOk"))->Activate();
  PumpPendingMessages();
  EXPECT_EQ(dialog.Answer().page, 9);
  EXPECT_EQ(dialog.Answer().text, "第三段是主旨");
}

}  // namespace
