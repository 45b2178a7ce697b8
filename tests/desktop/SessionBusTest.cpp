// Starting without a D-Bus session bus: the address chosen, and no daemon left behind by a
// real start of the program.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <thread>

#include "ProgramRun.h"
#include "app/main/SessionBus.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using desktop_test::ProgramRun;
using desktop_test::ScratchFolder;

TEST(SessionBusTest, OnlyAMissingBusIsReplacedByTheUsersStandardSocket) {
  ScratchFolder scratch;
  const std::string withBus = (scratch.path() / "with").string();
  const std::string withoutBus = (scratch.path() / "without").string();
  fs::create_directories(withBus);
  fs::create_directories(withoutBus);
  // A listening socket where the user's bus would be.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string socketPath = withBus + "/bus";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  struct Case {
    const char* name;
    const char* address;
    const char* runtimeDir;
    std::string expected;
  };
  const Case cases[] = {
      {"address given", "unix:path=/somewhere/bus", withoutBus.c_str(), ""},
      {"user bus socket present", nullptr, withBus.c_str(), ""},
      {"empty address, socket present", "", withBus.c_str(), ""},
      {"no bus at all", nullptr, withoutBus.c_str(), "unix:path=" + withoutBus + "/bus"},
      {"no runtime folder", nullptr, nullptr, "unix:path=/run/user/4242/bus"},
      {"relative runtime folder", nullptr, "run", "unix:path=/run/user/4242/bus"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddressWithoutAutolaunch(c.address, c.runtimeDir, 4242), c.expected);
  }
  close(fd);
}

TEST(SessionBusTest, AStartWithoutSessionBusLeavesNoDaemonRunning) {
  const char* display = getenv("DISPLAY");
  ASSERT_NE(display, nullptr);
  ScratchFolder scratch;
  ProgramRun run(scratch.path(), {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"NO_AT_BRIDGE", ""}});
  ASSERT_TRUE(run.Start({(desktop_test::BuildFolder() / "bin" / "tavo").string(), "--demo", "--web-port=0"}));
  ASSERT_FALSE(run.WaitForWindow("loginBackDlgClass", 60s).empty()) << run.Output();
  EXPECT_EQ(run.Stop(20s), 0) << run.Output();

  // What the program started ends with it; a daemon started on its behalf would stay.
  std::vector<std::string> left;
  auto deadline = std::chrono::steady_clock::now() + 10s;
  do {
    left = desktop_test::ProcessesOnDisplay(display);
    if (left.empty()) break;
    std::this_thread::sleep_for(100ms);
  } while (std::chrono::steady_clock::now() < deadline);
  for (const std::string& process : left) ADD_FAILURE() << "still running: " << process;
  // Tidy up after a failure, so no other test inherits the daemons.
  for (const std::string& process : left) kill(std::stoi(process), SIGTERM);
}

}  // namespace
