// The desktop's search provider process on a private session bus, asked as the shell asks
// (gdbus): results from the account's index with their names, hostile terms answered
// without an error, and a chosen result handed to the running program through the
// one-instance channel.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ProgramRun.h"
#include "app/Folders.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "platform/InstanceChannel.h"
#include "study/SearchIndex.h"
#include "study/SearchKeeper.h"
#include "support/PrivateDbusDaemon.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using desktop_test::ProgramRun;
using desktop_test::ScratchFolder;
using desktop_test::Shell;

constexpr char kCall[] =
    "timeout 20 gdbus call --session --dest org.tavo.Tavo.SearchProvider --object-path "
    "/org/tavo/Tavo/SearchProvider --method org.gnome.Shell.SearchProvider2.";

TEST(SearchProviderTest, AnswersTheShellFromTheIndexAndHandsTheChoiceToTheProgram) {
  ScratchFolder scratch;
  const fs::path root = scratch.path();
  testsupport::PrivateDbusDaemon bus("DBUS_SESSION_BUS_ADDRESS");
  ASSERT_FALSE(bus.address().empty());
  ProgramRun run(root, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}, {"NO_AT_BRIDGE", "1"}});
  // This process sees the same folders as the provider it starts.
  for (const auto& [variable, folder] : {std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_CONFIG_HOME", "config"},
                                         std::pair{"XDG_STATE_HOME", "state"}, std::pair{"XDG_RUNTIME_DIR", "run"}})
    setenv(variable, (root / folder).c_str(), 1);

  // The account's index: one lecture whose second page speaks of 实词辨析.
  SetSignedInAccount("student1");
  {
    SearchIndex index = SearchIndex::OfSignedInAccount();
    ASSERT_TRUE(index.StorePages("d1", "c1", "言语理解讲义", {"第一章 片段阅读", "二、实词辨析"}));
    ASSERT_TRUE(index.Update());
  }
  ASSERT_EQ(WriteRegString(kSearchAccountValue, L"student1"), 0);

  ASSERT_TRUE(run.Start({(desktop_test::BuildFolder() / "bin" / "tavo").string(), "--search-provider"}));
  std::string answer;
  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (status != 0 && std::chrono::steady_clock::now() < deadline) {
    answer = Shell(std::string(kCall) + "GetInitialResultSet \"['实词', '辨析']\" 2>&1", &status);
  }
  ASSERT_EQ(status, 0) << answer << run.Output();
  EXPECT_NE(answer.find("'page/c1/d1/2/'"), std::string::npos) << answer;

  answer = Shell(std::string(kCall) + "GetResultMetas \"['page/c1/d1/2/', 'class/zz/zz/0/']\" 2>&1", &status);
  ASSERT_EQ(status, 0) << answer;
  EXPECT_NE(answer.find("'name': <'言语理解讲义'>"), std::string::npos) << answer;
  EXPECT_NE(answer.find("第2页"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("zz"), std::string::npos) << "an id no search gave has no meta: " << answer;

  // Query syntax in the terms is text: an answer, never an error.
  answer = Shell(std::string(kCall) + "GetSubsearchResultSet \"['page/c1/d1/2/']\" "
                                      "\"['\\\"', 'OR', '*', 'NEAR(', '%']\" 2>&1",
                 &status);
  EXPECT_EQ(status, 0) << answer;
  EXPECT_NE(answer.find("(@as [],)"), std::string::npos) << answer;

  // The running program (here: this process's channel) receives the chosen result.
  std::string opened;
  auto channel = InstanceChannel::Listen(
      InstanceChannelPath(), [] { return true; },
      [&](const std::string& target) {
        opened = target;
        return true;
      });
  ASSERT_NE(channel, nullptr);
  const std::string activate = std::string(kCall) + "ActivateResult 'page/c1/d1/2/' \"['实词']\" 0";
  gchar* argv[] = {const_cast<gchar*>("/bin/sh"), const_cast<gchar*>("-c"), const_cast<gchar*>(activate.c_str()),
                   nullptr};
  GPid gdbus = 0;
  ASSERT_TRUE(g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &gdbus, nullptr));
  bool ended = false;
  const auto until = std::chrono::steady_clock::now() + 30s;
  while (!(ended && !opened.empty()) && std::chrono::steady_clock::now() < until) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    if (!ended && waitpid(gdbus, &status, WNOHANG) == gdbus) ended = true;
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(opened, "page/c1/d1/2/");
  g_spawn_close_pid(gdbus);
  EXPECT_EQ(run.Stop(20s), 0) << run.Output();
}

}  // namespace
