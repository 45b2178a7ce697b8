// A desktop keyring of the test's own: gnome-keyring-daemon's Secret Service on a private
// D-Bus session bus (its own dbus-daemon, or a bus the test started already), with an
// unlocked "login" keyring created in a folder of the test's. Nothing of the user's
// session bus or keyring is ever reached. Both daemons end with the object, and with the
// test process if it dies.
#pragma once

#include <fcntl.h>
#include <gio/gio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"

namespace testsupport {

class PrivateKeyring {
 public:
  PrivateKeyring() = default;
  ~PrivateKeyring() {
    EndChildProcess(m_keyring);
    EndChildProcess(m_bus);
  }
  PrivateKeyring(const PrivateKeyring&) = delete;
  PrivateKeyring& operator=(const PrivateKeyring&) = delete;

  // What is missing to run one (for the skip message), or empty.
  static std::string Missing() {
    if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0) return "dbus-daemon missing (package dbus-daemon)";
    if (std::system("command -v gnome-keyring-daemon >/dev/null 2>&1") != 0)
      return "gnome-keyring-daemon missing (package gnome-keyring)";
    return {};
  }

  // Starts the keyring with its files in `folder`, on `busAddress` or, when that is empty,
  // on a new bus of its own; false with the reason in error().
  bool Start(const std::filesystem::path& folder, const std::string& busAddress = {}) {
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    for (const char* sub : {"home", "data", "config", "cache", "run"}) fs::create_directories(folder / sub);
    chmod((folder / "run").c_str(), 0700);
    // The daemons (and anything the bus starts on demand) keep their files in `folder`.
    std::vector<std::string> env = {"HOME=" + (folder / "home").string(),
                                    "XDG_DATA_HOME=" + (folder / "data").string(),
                                    "XDG_CONFIG_HOME=" + (folder / "config").string(),
                                    "XDG_CACHE_HOME=" + (folder / "cache").string(),
                                    "XDG_RUNTIME_DIR=" + (folder / "run").string(), "PATH=/usr/bin:/bin"};
    m_address = busAddress;
    if (m_address.empty()) {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) return Fail("no pipe");
      m_bus = Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=" + std::to_string(fds[1])},
                    env, -1, fds[1]);
      close(fds[1]);
      m_address = ReadFirstLine(fds[0], 20s);
      if (m_address.empty()) return Fail("the private session bus did not start");
    }
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + m_address);
    // The login keyring's password comes on standard input; a new keyring needs one.
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return Fail("no pipe");
    m_keyring = Spawn({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"}, env, in[0], -1);
    close(in[0]);
    const ssize_t written = write(in[1], "test", 4);
    close(in[1]);
    if (written != 4) return Fail("the keyring daemon took no password");
    if (!WaitForSecretService(20s)) return Fail("no Secret Service on the private bus");
    return true;
  }

  const std::string& address() const { return m_address; }
  const std::string& error() const { return m_error; }

 private:
  bool Fail(const std::string& why) {
    m_error = why;
    return false;
  }

  // Forks and execs `argv` with exactly `env`; `stdinFd` becomes its standard input and
  // `keepFd` stays open in it (the test's pipes are closed on exec otherwise).
  static pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int stdinFd,
                     int keepFd) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = stdinFd >= 0 ? dup(stdinFd) : -1;
      TieChildToTestProcess(parent);
      if (in >= 0) dup2(in, STDIN_FILENO);
      if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
      execvpe(args[0], args.data(), envp.data());
      _exit(127);
    }
    return pid;
  }

  bool WaitForSecretService(std::chrono::milliseconds limit) {
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        m_address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (bus == nullptr) {
      g_clear_error(&error);
      return false;
    }
    bool owned = false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!owned && std::chrono::steady_clock::now() < deadline) {
      GVariant* reply = g_dbus_connection_call_sync(
          bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
          g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000,
          nullptr, nullptr);
      if (reply != nullptr) {
        gboolean has = FALSE;
        g_variant_get(reply, "(b)", &has);
        g_variant_unref(reply);
        owned = has;
      }
      if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return owned;
  }

  pid_t m_bus = -1;
  pid_t m_keyring = -1;
  std::string m_address;
  std::string m_error;
};

// Whether KeyringOfThisProcess was called in this process: a test that needs no session
// bus at all must then run in a process of its own (ctest runs every case alone).
inline bool& KeyringOfThisProcessAsked() {
  static bool asked = false;
  return asked;
}

// The keyring of this test process, for code that talks to the session bus in-process:
// started on first use in a temporary folder and made the process's session bus, ended
// at exit. GLib's session connection, once made, stays for the process, so every test of
// a process shares this one. Null with the reason in `why` when it cannot start.
inline PrivateKeyring* KeyringOfThisProcess(std::string& why) {
  KeyringOfThisProcessAsked() = true;
  struct Owned {
    std::filesystem::path folder;
    std::unique_ptr<PrivateKeyring> keyring;
    std::string error;
    ~Owned() {
      keyring.reset();
      std::error_code ignored;
      if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
  };
  static Owned owned;
  static const bool started = [] {
    owned.error = PrivateKeyring::Missing();
    if (!owned.error.empty()) return false;
    char pattern[] = "/tmp/tavo-keyring-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      owned.error = "no temporary folder";
      return false;
    }
    owned.folder = pattern;
    owned.keyring = std::make_unique<PrivateKeyring>();
    if (!owned.keyring->Start(owned.folder)) {
      owned.error = owned.keyring->error();
      owned.keyring.reset();
      return false;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", owned.keyring->address().c_str(), 1);
    // The bus ends before the process does: that must not end the process.
    if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
      g_dbus_connection_set_exit_on_close(bus, FALSE);
      g_object_unref(bus);
    }
    return true;
  }();
  (void)started;
  why = owned.error;
  return owned.keyring.get();
}

}  // namespace testsupport
