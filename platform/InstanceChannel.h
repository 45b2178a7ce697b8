// The one-instance channel between browser processes of one user: a local socket the
// running program serves on its main loop. A new start asks it whether a main window is
// open; if so, the running program brings it to the front and the new start ends.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// "<$XDG_RUNTIME_DIR>/tavo/instance.sock", or "<state folder>instance.sock" when there is
// no runtime folder. The folder is created (0700). Empty when no folder can be made.
std::string InstanceChannelPath();

enum class InstanceAnswer {
  NoInstance,     // nothing listens (no socket, a stale one, or an unusable path)
  NotActivated,   // a running program answered that it has no main window yet
  Activated,      // a running program brought its main window to the front
};

// Asks the program listening at `path`; the whole exchange is bounded by `timeout`. A
// program that accepts but does not answer in time counts as NoInstance.
InstanceAnswer AskRunningInstance(const std::string& path,
                                  std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
// The same, asking the running program to open `target` (a search result's id: printable
// ASCII without spaces, at most kMaxOpenTarget bytes) in its main window. NoInstance
// without asking when the target is not one.
InstanceAnswer AskRunningInstanceToOpen(const std::string& path, const std::string& target,
                                        std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
inline constexpr std::size_t kMaxOpenTarget = 200;
bool IsOpenTarget(const std::string& target);

// The serving end, on the main loop of the thread that created it (its thread-default GLib
// context). `activate` runs on that thread for every well-formed request and returns true
// when it brought a main window to the front.
class InstanceChannel {
 public:
  using Activate = std::function<bool()>;
  // Runs for a request to open a target; returns true when a main window took it. Without
  // one, such a request only activates.
  using OpenTarget = std::function<bool(const std::string& target)>;
  // Null when the path cannot be served: too long, not creatable, or another program
  // still listens there. A stale socket file (nobody listening) is replaced.
  static std::unique_ptr<InstanceChannel> Listen(const std::string& path, Activate activate,
                                                 OpenTarget open = nullptr);
  // Stops serving and removes the socket file (if it is still this channel's).
  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  const std::string& path() const { return m_path; }

 private:
  struct Impl;
  explicit InstanceChannel(std::unique_ptr<Impl> impl, std::string path);
  std::unique_ptr<Impl> m_impl;
  std::string m_path;
};
