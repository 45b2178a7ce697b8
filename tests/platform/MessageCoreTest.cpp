// The message core without a display: order, cross-thread sends, dead windows, timers,
// the window registry, quit codes and nested loops.
#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"

namespace {

using namespace std::chrono_literals;

constexpr UINT kMsgA = WM_USER + 100;
constexpr UINT kMsgB = WM_USER + 101;

// A payload that counts how many of its kind are alive.
struct Counted {
  static inline std::atomic<int> alive{0};
  int value;
  explicit Counted(int v) : value(v) { ++alive; }
  ~Counted() { --alive; }
};

struct Seen {
  UINT msg;
  WPARAM wParam;
};

class MessageCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    Counted::alive = 0;
  }
  void TearDown() override {
    ShutdownMessageCore();
    EXPECT_EQ(Counted::alive, 0) << "a payload outlived the core";
  }

  // Runs the loop until `done` or a guard time-out, which fails the test instead of hanging.
  // A 5 ms tick re-checks `done` for conditions that other threads make true.
  static bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds guard = 10s) {
    bool timedOut = false;
    guint guardId = g_timeout_add(
        static_cast<guint>(guard.count()),
        [](gpointer flag) {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &timedOut);
    guint tickId = g_timeout_add(
        5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    RunNestedLoopUntil([&] { return timedOut || done(); });
    g_source_remove(tickId);
    if (!timedOut) {
      g_source_remove(guardId);
    }
    EXPECT_FALSE(timedOut) << "guard time-out";
    return !timedOut;
  }
  // Runs the loop for a while (to show that something does NOT happen).
  static void RunFor(std::chrono::milliseconds span) {
    auto end = std::chrono::steady_clock::now() + span;
    bool over = false;
    guint id = g_timeout_add(
        static_cast<guint>(span.count()),
        [](gpointer flag) {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &over);
    RunNestedLoopUntil([&] { return over || std::chrono::steady_clock::now() >= end + 1s; });
    if (!over) {
      g_source_remove(id);
    }
  }
};

// A receiver that records what it was given.
class Recorder {
 public:
  Recorder()
      : m_window([this](UINT msg, WPARAM w, LPARAM, const Payload&) {
          seen.push_back({msg, w});
          return static_cast<LRESULT>(w) * 2;
        }) {}
  HWND hwnd() const { return m_window.GetHWND(); }
  std::vector<Seen> seen;

 private:
  MessageWindow m_window;
};

// Sends from a detached thread: a sender stuck by a fault fails the test, it cannot hang it.
std::future<LRESULT> SendFromThread(HWND hwnd, UINT msg, WPARAM wParam = 0, Payload payload = {}) {
  auto promise = std::make_shared<std::promise<LRESULT>>();
  std::future<LRESULT> future = promise->get_future();
  std::thread([=] { promise->set_value(SendMessage(hwnd, msg, wParam, 0, payload)); }).detach();
  return future;
}

std::vector<WPARAM> Params(const std::vector<Seen>& seen) {
  std::vector<WPARAM> out;
  out.reserve(seen.size());
  for (const Seen& s : seen) {
    out.push_back(s.wParam);
  }
  return out;
}

TEST_F(MessageCoreTest, PostedMessagesArriveInPostOrderAcrossWindows) {
  std::vector<std::pair<char, WPARAM>> order;
  auto handlerFor = [&](char name) {
    return [&order, name](UINT, WPARAM w, LPARAM, const Payload&) {
      order.push_back({name, w});
      return 0;
    };
  };
  MessageWindow a(handlerFor('a')), b(handlerFor('b')), idle(handlerFor('x'));
  for (WPARAM i = 0; i < 6; ++i) {
    ASSERT_TRUE(PostMessage(i % 2 ? a.GetHWND() : b.GetHWND(), kMsgA, i));
  }
  EXPECT_TRUE(order.empty()) << "PostMessage must not deliver at once";
  RunUntil([&] { return order.size() == 6; });
  EXPECT_EQ(order, (std::vector<std::pair<char, WPARAM>>{
                       {'b', 0}, {'a', 1}, {'b', 2}, {'a', 3}, {'b', 4}, {'a', 5}}));
}

TEST_F(MessageCoreTest, MessagesPostedByAHandlerComeAfterTheQueuedOnes) {
  std::vector<WPARAM> order;
  MessageWindow window;
  HWND hwnd = window.GetHWND();
  window.SetHandler([&](UINT, WPARAM w, LPARAM, const Payload&) {
    order.push_back(w);
    if (w == 1) {
      PostMessage(hwnd, kMsgA, 9);
    }
    return 0;
  });
  for (WPARAM i = 1; i <= 3; ++i) {
    PostMessage(hwnd, kMsgA, i);
  }
  RunUntil([&] { return order.size() == 4; });
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3, 9}));
}

TEST_F(MessageCoreTest, NestedLoopContinuesTheBatchInOrder) {
  // A handler that opens a modal loop: the rest of its batch is delivered inside that
  // loop, in order, and what is posted meanwhile comes after the batch.
  std::vector<WPARAM> order;
  MessageWindow window;
  HWND hwnd = window.GetHWND();
  window.SetHandler([&](UINT, WPARAM w, LPARAM, const Payload&) {
    order.push_back(w);
    if (w == 1) {
      RunUntil([&] { return order.size() >= 4; });  // 2, 3 and 4 arrive in the modal loop
      order.push_back(100);                         // the modal loop has ended
    }
    if (w == 2) {
      PostMessage(hwnd, kMsgA, 5);
    }
    return 0;
  });
  for (WPARAM i = 1; i <= 4; ++i) {
    PostMessage(hwnd, kMsgA, i);
  }
  RunUntil([&] { return order.size() == 6; });
  // 5 may come before or after the modal loop ends, but only after the batch.
  std::vector<WPARAM> withoutEnd = order;
  std::erase(withoutEnd, WPARAM{100});
  EXPECT_EQ(withoutEnd, (std::vector<WPARAM>{1, 2, 3, 4, 5}));
  EXPECT_GT(std::find(order.begin(), order.end(), WPARAM{100}),
            std::find(order.begin(), order.end(), WPARAM{4}));
}

TEST_F(MessageCoreTest, EachThreadsPostsKeepTheirOrder) {
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::vector<int>> perThread(kThreads);
  int total = 0;
  MessageWindow window([&](UINT, WPARAM w, LPARAM l, const Payload& p) {
    EXPECT_TRUE(IsMainThread());
    perThread[w].push_back(static_cast<int>(l));
    EXPECT_EQ(PayloadAs<Counted>(p)->value, l);
    ++total;
    return 0;
  });
  HWND hwnd = window.GetHWND();
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([hwnd, t] {
      for (int i = 0; i < kEach; ++i) {
        PostMessage(hwnd, kMsgA, t, i, MakePayload<Counted>(i));
      }
    });
  }
  RunUntil([&] { return total == kThreads * kEach; });
  for (auto& t : threads) {
    t.join();
  }
  for (const auto& seq : perThread) {
    ASSERT_EQ(seq.size(), static_cast<size_t>(kEach));
    for (int i = 0; i < kEach; ++i) {
      ASSERT_EQ(seq[i], i);
    }
  }
  EXPECT_EQ(Counted::alive, 0);
}

TEST_F(MessageCoreTest, SendOnTheMainThreadCallsTheHandlerAtOnce) {
  Recorder r;
  EXPECT_EQ(SendMessage(r.hwnd(), kMsgA, 21), 42);
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_EQ(SendMessage(kNoWindow, kMsgA, 1), 0);
}

TEST_F(MessageCoreTest, CrossThreadSendRunsOnTheMainThreadAndReturnsTheResult) {
  std::thread::id handlerThread;
  MessageWindow window([&](UINT, WPARAM w, LPARAM, const Payload& p) {
    handlerThread = std::this_thread::get_id();
    PayloadAs<Counted>(p)->value = 77;  // an answer handed back through the payload
    return static_cast<LRESULT>(w + 1);
  });
  HWND hwnd = window.GetHWND();
  auto payload = std::make_shared<Counted>(0);
  auto result = SendFromThread(hwnd, kMsgA, 41, payload);
  RunUntil([&] { return result.wait_for(0s) == std::future_status::ready; });
  EXPECT_EQ(result.get(), 42);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_EQ(payload->value, 77);
}

TEST_F(MessageCoreTest, ManyThreadsSendAndPostAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::atomic<int> wrong{0};
  int posted = 0;
  MessageWindow window([&](UINT msg, WPARAM w, LPARAM, const Payload&) {
    if (msg == kMsgB) {
      ++posted;
    }
    return static_cast<LRESULT>(w * 3);
  });
  HWND hwnd = window.GetHWND();
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, hwnd] {
      for (int i = 0; i < kEach; ++i) {
        PostMessage(hwnd, kMsgB, i, 0, MakePayload<Counted>(i));
        if (SendMessage(hwnd, kMsgA, i) != static_cast<LRESULT>(i) * 3) {
          ++wrong;
        }
      }
      ++finished;
    });
  }
  RunUntil([&] { return finished == kThreads && posted == kThreads * kEach; });
  for (auto& t : threads) {
    t.join();
  }
  EXPECT_EQ(wrong, 0);
}

// --- dead windows --------------------------------------------------------------------

TEST_F(MessageCoreTest, MessageToAWindowThatDiesWhileQueuedIsDroppedAndItsPayloadFreed) {
  int handled = 0;
  auto window = std::make_unique<MessageWindow>([&](UINT, WPARAM, LPARAM, const Payload&) {
    ++handled;
    return 0;
  });
  HWND hwnd = window->GetHWND();
  ASSERT_TRUE(PostMessage(hwnd, kMsgA, 0, 0, MakePayload<Counted>(1)));
  ASSERT_TRUE(PostMessage(hwnd, kMsgA, 0, 0, MakePayload<Counted>(2)));
  EXPECT_EQ(Counted::alive, 2);
  window.reset();
  EXPECT_EQ(Counted::alive, 0) << "queued payloads are freed with their window";
  PumpPendingMessages();
  EXPECT_EQ(handled, 0);
}

TEST_F(MessageCoreTest, PostToAGoneWindowFailsAndFreesThePayload) {
  HWND hwnd;
  {
    MessageWindow window;
    hwnd = window.GetHWND();
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(PostMessage(hwnd, kMsgA, 0, 0, MakePayload<Counted>(1)));
  EXPECT_FALSE(PostMessage(kNoWindow, kMsgA));
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_EQ(SendMessage(hwnd, kMsgA), 0);
}

TEST_F(MessageCoreTest, WindowClosedByAnEarlierMessageOfTheBatchGetsNothingMore) {
  int handledByVictim = 0;
  auto victim = std::make_unique<MessageWindow>([&](UINT, WPARAM, LPARAM, const Payload&) {
    ++handledByVictim;
    return 0;
  });
  MessageWindow closer([&](UINT, WPARAM, LPARAM, const Payload&) {
    victim.reset();
    return 0;
  });
  HWND victimHwnd = victim->GetHWND();
  PostMessage(closer.GetHWND(), kMsgA);
  PostMessage(victimHwnd, kMsgA, 0, 0, MakePayload<Counted>(1));
  PumpPendingMessages();
  EXPECT_EQ(handledByVictim, 0);
  EXPECT_EQ(Counted::alive, 0);
}

TEST_F(MessageCoreTest, WindowThatEndsItselfInItsHandlerIsSafe) {
  std::unique_ptr<MessageWindow> window;
  int calls = 0;
  window = std::make_unique<MessageWindow>([&](UINT, WPARAM, LPARAM, const Payload& p) {
    ++calls;
    window.reset();  // also destroys the handler object that is running now
    return static_cast<LRESULT>(PayloadAs<Counted>(p)->value);
  });
  HWND hwnd = window->GetHWND();
  PostMessage(hwnd, kMsgA, 0, 0, MakePayload<Counted>(5));
  PostMessage(hwnd, kMsgA, 0, 0, MakePayload<Counted>(6));
  PumpPendingMessages();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Counted::alive, 0);
}

TEST_F(MessageCoreTest, HandlesAreNeverReused) {
  std::vector<HWND> handles;
  for (int i = 0; i < 5; ++i) {
    MessageWindow window;
    EXPECT_NE(window.GetHWND(), kNoWindow);
    handles.push_back(window.GetHWND());
  }
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::unique(handles.begin(), handles.end()), handles.end());
}

TEST_F(MessageCoreTest, WaitingSenderIsReleasedWhenTheWindowDies) {
  auto window = std::make_unique<MessageWindow>([](UINT, WPARAM, LPARAM, const Payload&) { return 5; });
  HWND hwnd = window->GetHWND();
  auto result = SendFromThread(hwnd, kMsgA);
  // The main thread does not pump: the sender waits while the window lives, and only
  // the window's death can release it.
  EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
  window.reset();
  ASSERT_EQ(result.wait_for(10s), std::future_status::ready) << "sender stuck after its window died";
  EXPECT_EQ(result.get(), 0);
}

TEST_F(MessageCoreTest, WaitingSenderIsReleasedWhenTheLoopQuits) {
  int handled = 0;
  MessageWindow window([&](UINT, WPARAM, LPARAM, const Payload&) {
    ++handled;
    return 5;
  });
  HWND hwnd = window.GetHWND();
  PostQuitMessage(3);
  auto result = SendFromThread(hwnd, kMsgA);
  // Queued behind the quit before the loop starts: both arrive in one batch, and the
  // loop ends before it reaches the send.
  EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
  EXPECT_EQ(RunMessageLoop(), 3);
  ASSERT_EQ(result.wait_for(10s), std::future_status::ready) << "sender stuck after the loop ended";
  EXPECT_EQ(result.get(), 0);
  // Later senders do not wait for a loop that no longer runs.
  auto late = SendFromThread(hwnd, kMsgA);
  ASSERT_EQ(late.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(late.get(), 0);
  // A quit queued ahead of it means the loop never handled the send.
  EXPECT_EQ(handled, 0);
}

// --- registry ------------------------------------------------------------------------

TEST_F(MessageCoreTest, FindWindowByClassAndTitle) {
  MessageWindow main({}, L"mainDlgClass", L"Tavo");
  MessageWindow player({}, L"videoPlayDlgClass", L"第一课");
  MessageWindow secondMain({}, L"mainDlgClass", L"Tavo");
  struct Case {
    const wchar_t* className;
    const wchar_t* title;
    HWND expected;
  } cases[] = {
      {L"mainDlgClass", L"Tavo", main.GetHWND()},  // the older of two matches
      {L"videoPlayDlgClass", L"第一课", player.GetHWND()},
      {L"videoPlayDlgClass", L"", player.GetHWND()},  // empty title matches any
      {L"videoPlayDlgClass", L"Tavo", kNoWindow},
      {L"mainDlgclass", L"Tavo", kNoWindow},  // class names are exact
      {L"", L"Tavo", kNoWindow},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindWindow(c.className, c.title), c.expected) << c.className;
  }

  SetWindowTitle(player.GetHWND(), L"第二课");
  EXPECT_EQ(FindWindow(L"videoPlayDlgClass", L"第二课"), player.GetHWND());
  EXPECT_EQ(FindWindow(L"videoPlayDlgClass", L"第一课"), kNoWindow);
}

TEST_F(MessageCoreTest, FindWindowForgetsAGoneWindow) {
  HWND first;
  {
    MessageWindow window({}, L"mainDlgClass", L"Tavo");
    first = window.GetHWND();
    EXPECT_EQ(FindWindow(L"mainDlgClass", L"Tavo"), first);
  }
  EXPECT_EQ(FindWindow(L"mainDlgClass", L"Tavo"), kNoWindow);
  MessageWindow next({}, L"mainDlgClass", L"Tavo");
  EXPECT_NE(next.GetHWND(), first);
  EXPECT_EQ(FindWindow(L"mainDlgClass", L"Tavo"), next.GetHWND());
}

// --- quit and nested loops -----------------------------------------------------------

TEST_F(MessageCoreTest, QuitEndsTheLoopWithItsCodeAfterEarlierPosts) {
  Recorder r;
  PostMessage(r.hwnd(), kMsgA, 1);
  PostQuitMessage(42);
  PostMessage(r.hwnd(), kMsgA, 2);
  EXPECT_EQ(RunMessageLoop(), 42);
  EXPECT_EQ(Params(r.seen), (std::vector<WPARAM>{1}));
  // What was posted after the quit waits for the next loop.
  PostQuitMessage(0);
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_EQ(Params(r.seen), (std::vector<WPARAM>{1, 2}));
}

TEST_F(MessageCoreTest, QuitFromAnotherThread) {
  std::thread worker([] { PostQuitMessage(9); });
  EXPECT_EQ(RunMessageLoop(), 9);
  worker.join();
}

TEST_F(MessageCoreTest, QuitInsideAModalLoopEndsItAndThenTheMainLoop) {
  std::vector<std::string> steps;
  MessageWindow window([&](UINT msg, WPARAM, LPARAM, const Payload&) {
    if (msg == kMsgA) {
      steps.push_back("modal");
      PostQuitMessage(5);
      RunNestedLoopUntil([] { return false; });  // only the quit can end it
      steps.push_back("modal ended");
    }
    return 0;
  });
  PostMessage(window.GetHWND(), kMsgA);
  PostMessage(window.GetHWND(), kMsgB);  // queued behind the quit: not handled by this loop
  EXPECT_EQ(RunMessageLoop(), 5);
  EXPECT_EQ(steps, (std::vector<std::string>{"modal", "modal ended"}));
}

TEST_F(MessageCoreTest, ModalLoopEndsWhenItsConditionHolds) {
  int result = 0;
  MessageWindow dialog;
  HWND hwnd = dialog.GetHWND();
  dialog.SetHandler([&](UINT msg, WPARAM w, LPARAM, const Payload&) {
    if (msg == kMsgB) {
      result = static_cast<int>(w);  // the dialog's Close(result)
    }
    return 0;
  });
  std::thread worker([hwnd] { PostMessage(hwnd, kMsgB, 8); });
  RunUntil([&] { return result != 0; });
  worker.join();
  EXPECT_EQ(result, 8);
}

TEST_F(MessageCoreTest, HandlerSetDuringDispatchTakesOverFromTheNextMessage) {
  std::vector<std::string> calls;
  MessageWindow window;
  window.SetHandler([&](UINT, WPARAM, LPARAM, const Payload&) {
    calls.push_back("first");
    window.SetHandler([&](UINT, WPARAM, LPARAM, const Payload&) {
      calls.push_back("second");
      return 0;
    });
    calls.push_back("first still running");
    return 0;
  });
  PostMessage(window.GetHWND(), kMsgA);
  PostMessage(window.GetHWND(), kMsgA);
  PumpPendingMessages();
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "first still running", "second"}));
}

// --- timers --------------------------------------------------------------------------

// A target registered by hand, so it can outlive its registration.
class TimerTarget : public MessageTarget {
 public:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM, const Payload&) override {
    if (msg == WM_TIMER) {
      fired.push_back(wParam);
    }
    if (onTimer) {
      onTimer(wParam);
    }
    return 0;
  }
  size_t Count(WPARAM id) const { return std::count(fired.begin(), fired.end(), id); }
  std::vector<WPARAM> fired;
  std::function<void(WPARAM)> onTimer;
};

TEST_F(MessageCoreTest, TimersFireRepeatedlyWithTheirId) {
  TimerTarget target;
  HWND hwnd = RegisterWindow(&target, L"t", L"");
  ASSERT_TRUE(SetTimer(hwnd, 7, 10));
  ASSERT_TRUE(SetTimer(hwnd, 8, 10));
  RunUntil([&] { return target.Count(7) >= 3 && target.Count(8) >= 3; });
  for (WPARAM id : target.fired) {
    EXPECT_TRUE(id == 7 || id == 8);
  }
  UnregisterWindow(hwnd);
}

TEST_F(MessageCoreTest, KilledTimerStopsAndUnknownTimersAreRefused) {
  TimerTarget target;
  HWND hwnd = RegisterWindow(&target, L"t", L"");
  ASSERT_TRUE(SetTimer(hwnd, 1, 10));
  RunUntil([&] { return target.Count(1) >= 1; });
  EXPECT_TRUE(KillTimer(hwnd, 1));
  size_t before = target.fired.size();
  RunFor(80ms);
  EXPECT_EQ(target.fired.size(), before);
  EXPECT_FALSE(KillTimer(hwnd, 1));
  EXPECT_FALSE(KillTimer(hwnd, 2));
  UnregisterWindow(hwnd);
  EXPECT_FALSE(SetTimer(hwnd, 1, 10));
  EXPECT_FALSE(KillTimer(hwnd, 1));
}

TEST_F(MessageCoreTest, SettingAnExistingTimerRestartsItWithTheNewPeriod) {
  TimerTarget target;
  HWND hwnd = RegisterWindow(&target, L"t", L"");
  ASSERT_TRUE(SetTimer(hwnd, 1, 10));
  ASSERT_TRUE(SetTimer(hwnd, 1, 60000));
  RunFor(80ms);
  EXPECT_EQ(target.Count(1), 0u) << "the 10 ms timer must have been replaced";
  ASSERT_TRUE(SetTimer(hwnd, 1, 10));
  RunUntil([&] { return target.Count(1) >= 2; });
  UnregisterWindow(hwnd);
}

TEST_F(MessageCoreTest, TimerCanKillOrRestartItselfFromItsHandler) {
  TimerTarget target;
  HWND hwnd = RegisterWindow(&target, L"t", L"");
  int restarts = 0;
  target.onTimer = [&](WPARAM id) {
    if (id == 1) {
      KillTimer(hwnd, 1);
    }
    if (id == 2 && ++restarts < 3) {
      SetTimer(hwnd, 2, 10);
    }
  };
  SetTimer(hwnd, 1, 10);
  SetTimer(hwnd, 2, 10);
  RunUntil([&] { return target.Count(2) >= 4; });
  EXPECT_EQ(target.Count(1), 1u);
  UnregisterWindow(hwnd);
}

TEST_F(MessageCoreTest, TimersDieWithTheirWindow) {
  TimerTarget target;
  HWND hwnd = RegisterWindow(&target, L"t", L"");
  SetTimer(hwnd, 1, 10);
  RunUntil([&] { return target.Count(1) >= 1; });
  UnregisterWindow(hwnd);
  size_t before = target.fired.size();
  RunFor(80ms);
  EXPECT_EQ(target.fired.size(), before);
}

}  // namespace
