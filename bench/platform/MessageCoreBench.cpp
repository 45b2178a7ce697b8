// Figures of the message core: posted-message throughput from one and from several
// threads, the round trip of a cross-thread SendMessage, and timer lateness.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void PostThroughput(int threads, int each) {
  long delivered = 0;
  const long total = static_cast<long>(threads) * each;
  MessageWindow window([&](UINT, WPARAM, LPARAM, const Payload&) {
    if (++delivered == total) {
      PostQuitMessage(0);
    }
    return 0;
  });
  HWND hwnd = window.GetHWND();
  auto start = Clock::now();
  std::vector<std::thread> posters;
  posters.reserve(threads);
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([hwnd, each] {
      for (int i = 0; i < each; ++i) {
        PostMessage(hwnd, WM_USER, i, 0, MakePayload<int>(i));
      }
    });
  }
  RunMessageLoop();
  double seconds = Seconds(Clock::now() - start);
  for (auto& p : posters) {
    p.join();
  }
  std::printf("post+deliver, %d thread(s) x %d with payload: %.0f messages/s (%.2f us each)\n", threads, each,
              total / seconds, seconds * 1e6 / total);
}

void SendRoundTrip(int count) {
  MessageWindow window([](UINT, WPARAM w, LPARAM, const Payload&) { return static_cast<LRESULT>(w); });
  HWND hwnd = window.GetHWND();
  double seconds = 0;
  std::thread sender([&] {
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
      SendMessage(hwnd, WM_USER, i);
    }
    seconds = Seconds(Clock::now() - start);
    PostQuitMessage(0);
  });
  RunMessageLoop();
  sender.join();
  std::printf("cross-thread SendMessage round trip: %.1f us (%d sends)\n", seconds * 1e6 / count, count);

  auto start = Clock::now();
  for (int i = 0; i < count * 10; ++i) {
    SendMessage(hwnd, WM_USER, i);
  }
  std::printf("main-thread SendMessage: %.3f us\n", Seconds(Clock::now() - start) * 1e6 / (count * 10));
}

void TimerLateness(UINT periodMs, int ticks) {
  std::vector<double> gaps;
  auto last = Clock::now();
  MessageWindow window;
  HWND hwnd = window.GetHWND();
  window.SetHandler([&](UINT msg, WPARAM, LPARAM, const Payload&) {
    if (msg != WM_TIMER) {
      return LRESULT{0};
    }
    auto now = Clock::now();
    gaps.push_back(Seconds(now - last) * 1e3);
    last = now;
    if (static_cast<int>(gaps.size()) == ticks) {
      PostQuitMessage(0);
    }
    return LRESULT{0};
  });
  last = Clock::now();
  SetTimer(hwnd, 1, periodMs);
  RunMessageLoop();
  double sum = 0, worst = 0;
  for (double g : gaps) {
    sum += g;
    if (g > worst) {
      worst = g;
    }
  }
  std::printf("timer %u ms: mean period %.2f ms, longest %.2f ms (%d ticks)\n", periodMs, sum / ticks, worst,
              ticks);
}

}  // namespace

int main() {
  InitMessageCore();
  PostThroughput(1, 200000);
  PostThroughput(4, 50000);
  SendRoundTrip(20000);
  TimerLateness(10, 100);
  TimerLateness(50, 20);
  ShutdownMessageCore();
  return 0;
}
