// The document viewer on the test host: its title from the file name, one viewer that
// takes the next document (and does not load the one it shows again), and the close path.
#include <filesystem>
#include <fstream>

#include "account/WindowTestKit.h"
#include "app/TextConv.h"
#include "downloads/DownloadTask.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/OfflineOpen.h"
#include "platform/Messages.h"

namespace fs = std::filesystem;

TEST(LookDocDlgTitle, IsTheFileNameWithoutItsLastExtension) {
  struct Case {
    const char* path;
    const wchar_t* title;
  } cases[] = {
      {"/home/xm/下载/第一讲.pdf", L"第一讲"},
      {"D:\\dl\\第一讲.pdf", L"第一讲"},
      {"/dl/讲义 v1.2.pdf", L"讲义 v1.2"},
      {"/dl/无扩展名", L"无扩展名"},
      {"/dl/.pdf", L""},
      {"第三讲.pdf", L"第三讲"},
      {"/dl/", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(LookDocDlg::TitleOf(c.path), c.title) << c.path;
}

class DocViewerTest : public WindowTestKit {
 protected:
  static LookDocDlg* Viewer() {
    return dynamic_cast<LookDocDlg*>(CWindowWnd::FromHandle(FindWindow(L"lookDocDlgClass", L"")));
  }
  fs::path Document(const std::string& name) {
    fs::path path = m_root / name;
    std::ofstream(path) << "%PDF-1.4\n";
    return path;
  }
};

TEST_F(DocViewerTest, OneViewerTakesTheNextDocumentAndSkipsTheOneItShows) {
  const fs::path first = Document("第一讲.pdf");
  const fs::path second = Document("第二讲.pdf");
  OpenDownloadedDocument(first.string());
  LookDocDlg* viewer = Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetWindowText(), L"第一讲");
  EXPECT_EQ(GetViewerTitle(), L"第一讲");
  EXPECT_EQ(viewer->GetLoadCount(), 1);
  viewer->GetPaintManager().DoLayout();
  SaveScreenshot(viewer, "doc-viewer-testhost.png");

  OpenDownloadedDocument(first.string());
  PumpPendingMessages();
  EXPECT_EQ(viewer->GetLoadCount(), 1) << "the document shown is not loaded again";

  OpenDownloadedDocument(second.string());
  PumpPendingMessages();
  EXPECT_EQ(Viewer(), viewer);
  EXPECT_EQ(CountSelfOwned(L"lookDocDlgClass"), 1u);
  EXPECT_EQ(viewer->GetPath(), second.string());
  EXPECT_EQ(viewer->GetLoadCount(), 2);
  EXPECT_EQ(viewer->GetWindowText(), L"第二讲");
  // The openers find the viewer by its new title.
  EXPECT_EQ(FindWindow(L"lookDocDlgClass", GetViewerTitle()), viewer->GetHWND());

  PostMessage(viewer->GetHWND(), WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(RunUntil([] { return Viewer() == nullptr; }));
}

TEST_F(DocViewerTest, AMissingDocumentIsNotLoadedButTitlesTheWindow) {
  OpenDownloadedDocument((m_root / "已删除.pdf").string());
  LookDocDlg* viewer = Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetLoadCount(), 0);
  EXPECT_EQ(viewer->GetWindowText(), L"已删除");
}

TEST_F(DocViewerTest, OnlyAPdfIsShownAnythingElseGoesToTheDesktop) {
  // What a hostile school can hand out as a lecture: a page, whatever it is called.
  const struct {
    const char* name;
    const char* bytes;
    bool pdf;
  } cases[] = {
      {"讲义.pdf", "%PDF-1.7\n", true},
      {"讲义 无扩展名", "%PDF-1.4\n", true},
      {"讲义（带前缀）.pdf", "\xEF\xBB\xBF\n%PDF-1.5\n", true},
      {"言语理解讲义（上）.pdf", "<!doctype html><script>app.call('getVidAndPlayAuth')</script>", false},
      {"言语理解讲义（上）.html", "<!doctype html><script>app.call('getVidAndPlayAuth')</script>", false},
      {"空.pdf", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = m_root / c.name;
    std::ofstream(path, std::ios::binary) << c.bytes;
    testHost->openedUris.clear();
    OpenDownloadedDocument(path.string());
    PumpPendingMessages();
    if (c.pdf) {
      ASSERT_NE(Viewer(), nullptr);
      EXPECT_EQ(Viewer()->GetPath(), path.string());
      EXPECT_TRUE(testHost->openedUris.empty());
    } else {
      EXPECT_EQ(Viewer(), nullptr);
      ASSERT_EQ(testHost->openedUris.size(), 1u);
      EXPECT_TRUE(testHost->openedUris[0].starts_with("file:///")) << testHost->openedUris[0];
    }
    DestroySelfOwned();
  }
  // Handed a page directly, the viewer still does not load it.
  const fs::path page = m_root / "言语理解讲义（上）.html";
  OpenDocViewer(page.string());
  ASSERT_NE(Viewer(), nullptr);
  EXPECT_EQ(Viewer()->GetLoadCount(), 0);
}

