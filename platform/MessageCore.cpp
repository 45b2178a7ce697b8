// The message core on GLib: one mutex guards the window registry and the post queue; a
// single idle source per batch wakes the main context, and delivery happens outside the lock.
#include "platform/MessageCore.h"

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/Messages.h"

namespace {

constexpr UINT kMinTimerMs = 10;

// What a thread blocked in SendMessage waits for.
struct SendState {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  LRESULT result = 0;

  void Answer(LRESULT value) {
    {
      std::lock_guard lock(mutex);
      if (done) {
        return;
      }
      result = value;
      done = true;
    }
    answered.notify_all();
  }
};

// The waiting sender's side of a queued message: however the record ends (handled,
// dropped, drained at shutdown), the sender is answered exactly once.
class ReplySlot {
 public:
  ReplySlot() = default;
  explicit ReplySlot(std::shared_ptr<SendState> state) : m_state(std::move(state)) {}
  ReplySlot(ReplySlot&&) noexcept = default;
  // Swaps, so a state that was still waiting is answered when `other` ends.
  ReplySlot& operator=(ReplySlot&& other) noexcept {
    std::swap(m_state, other.m_state);
    return *this;
  }
  ~ReplySlot() { Answer(0); }

  explicit operator bool() const { return m_state != nullptr; }
  void Answer(LRESULT value) {
    if (m_state) {
      m_state->Answer(value);
    }
    m_state.reset();
  }

 private:
  std::shared_ptr<SendState> m_state;
};

struct Message {
  HWND hwnd = kNoWindow;
  UINT msg = WM_NULL;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  Payload payload;
  ReplySlot reply;  // set for a SendMessage from another thread
  bool quit = false;
  int quitCode = 0;
  std::function<void()> closure;  // a posted closure: runs on the main thread, no window
};

struct TimerTag {
  HWND hwnd;
  UINT id;
};

struct Window {
  MessageTarget* target = nullptr;
  std::wstring className;
  std::wstring title;
  std::map<UINT, GSource*> timers;  // each holds one reference
};

void DestroySources(const std::vector<GSource*>& sources) {
  for (GSource* source : sources) {
    g_source_destroy(source);
    g_source_unref(source);
  }
}

class Core {
 public:
  void Init() {
    GMainContext* old = nullptr;
    {
      std::lock_guard lock(m_mutex);
      old = m_context;
      m_context = g_main_context_ref_thread_default();
      m_refuseSends = false;
      // A wake still pending on the same context will come; one on another context will not.
      if (m_context != old) {
        m_wakeScheduled = false;
      }
      m_mainThread = std::this_thread::get_id();
      if (!m_queue.empty()) {
        ScheduleWakeLocked();
      }
    }
    if (old) {
      g_main_context_unref(old);
    }
  }

  void Shutdown() {
    std::map<HWND, Window> windows;
    std::deque<Message> dropped;
    {
      std::lock_guard lock(m_mutex);
      windows.swap(m_windows);
      dropped.swap(m_queue);
      m_refuseSends = true;
    }
    std::vector<GSource*> sources;
    for (auto& [hwnd, window] : windows) {
      for (auto& [id, source] : window.timers) {
        sources.push_back(source);
      }
    }
    DestroySources(sources);
    for (GMainLoop* loop : m_loops) {
      g_main_loop_quit(loop);
    }
    m_quitRequested = false;
    m_quitCode = 0;
    std::move(m_inFlight.begin(), m_inFlight.end(), std::back_inserter(dropped));
    m_inFlight.clear();
    // `dropped` ends here, outside the lock: payload destructors may post again.
  }

  bool IsMainThread() const { return m_mainThread.load() == std::this_thread::get_id(); }

  HWND Register(MessageTarget* target, const std::wstring& className, const std::wstring& title) {
    assert(target);
    std::lock_guard lock(m_mutex);
    HWND hwnd = ++m_lastHandle;
    m_windows.emplace(hwnd, Window{target, className, title, {}});
    return hwnd;
  }

  void Unregister(HWND hwnd) {
    std::vector<GSource*> sources;
    std::deque<Message> dropped;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_windows.find(hwnd);
      if (it == m_windows.end()) {
        return;
      }
      for (auto& [id, source] : it->second.timers) {
        sources.push_back(source);
      }
      m_windows.erase(it);
      MoveOut(m_queue, dropped, [hwnd](const Message& m) { return !m.quit && m.hwnd == hwnd; });
    }
    // The batch in flight belongs to the main thread; elsewhere its records for this
    // window are dropped when their turn comes.
    if (IsMainThread()) {
      MoveOut(m_inFlight, dropped, [hwnd](const Message& m) { return !m.quit && m.hwnd == hwnd; });
    }
    DestroySources(sources);
    // `dropped` ends here, outside the lock: payloads freed, waiting senders answered 0.
  }

  bool IsWindow(HWND hwnd) {
    std::lock_guard lock(m_mutex);
    return m_windows.count(hwnd) != 0;
  }

  void SetTitle(HWND hwnd, const std::wstring& title) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(hwnd);
    if (it != m_windows.end()) {
      it->second.title = title;
    }
  }

  HWND Find(const std::wstring& className, const std::wstring& title) {
    std::lock_guard lock(m_mutex);
    // The map is ordered by handle, and handles grow: the first match is the oldest window.
    for (const auto& [hwnd, window] : m_windows) {
      if (window.className == className && (title.empty() || window.title == title)) {
        return hwnd;
      }
    }
    return kNoWindow;
  }

  bool Post(Message message) {
    GMainContext* wake = nullptr;
    {
      std::lock_guard lock(m_mutex);
      if (!message.quit && !message.closure && m_windows.count(message.hwnd) == 0) {
        return false;
      }
      m_queue.push_back(std::move(message));
      wake = ClaimWakeLocked();
    }
    AttachWake(wake);
    return true;
  }

  LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
    if (IsMainThread()) {
      MessageTarget* target = TargetOf(hwnd);
      return target ? target->HandleMessage(msg, wParam, lParam, payload) : 0;
    }
    auto state = std::make_shared<SendState>();
    GMainContext* wake = nullptr;
    {
      std::lock_guard lock(m_mutex);
      if (m_refuseSends || m_windows.count(hwnd) == 0) {
        return 0;
      }
      m_queue.push_back(Message{hwnd, msg, wParam, lParam, std::move(payload), ReplySlot(state), false, 0, {}});
      wake = ClaimWakeLocked();
    }
    AttachWake(wake);
    std::unique_lock lock(state->mutex);
    state->answered.wait(lock, [&] { return state->done; });
    return state->result;
  }

  bool SetTimer(HWND hwnd, UINT id, UINT ms) {
    GSource* replaced = nullptr;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_windows.find(hwnd);
      if (it == m_windows.end() || !m_context) {
        return false;
      }
      GSource* source = g_timeout_source_new(std::max(ms, kMinTimerMs));
      g_source_set_priority(source, G_PRIORITY_DEFAULT);
      auto tag = std::make_unique<TimerTag>(TimerTag{hwnd, id});
      g_source_set_callback(source, &Core::OnTimerThunk, tag.release(),
                            [](gpointer data) { std::unique_ptr<TimerTag>(static_cast<TimerTag*>(data)); });
      GSource*& slot = it->second.timers[id];
      replaced = slot;
      slot = source;
      g_source_attach(source, m_context);
    }
    if (replaced) {
      DestroySources({replaced});
    }
    return true;
  }

  bool KillTimer(HWND hwnd, UINT id) {
    GSource* source = nullptr;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_windows.find(hwnd);
      if (it == m_windows.end()) {
        return false;
      }
      auto timer = it->second.timers.find(id);
      if (timer == it->second.timers.end()) {
        return false;
      }
      source = timer->second;
      it->second.timers.erase(timer);
    }
    DestroySources({source});
    return true;
  }

  int RunLoop() {
    assert(IsMainThread());
    GMainContext* context = Context();
    if (!m_quitRequested && context) {
      {
        std::lock_guard lock(m_mutex);
        m_refuseSends = false;
        if (!m_queue.empty() || !m_inFlight.empty()) {
          ScheduleWakeLocked();
        }
      }
      GMainLoop* loop = g_main_loop_new(context, FALSE);
      m_loops.push_back(loop);
      g_main_loop_run(loop);
      m_loops.pop_back();
      g_main_loop_unref(loop);
    }
    int code = m_quitCode;
    m_quitRequested = false;
    m_quitCode = 0;
    if (m_loops.empty()) {
      RefuseSends();
    }
    return code;
  }

  void RunNestedUntil(const std::function<bool()>& done) {
    assert(IsMainThread());
    GMainContext* context = Context();
    if (!context) {
      return;
    }
    while (!m_quitRequested && !done()) {
      g_main_context_iteration(context, TRUE);
    }
  }

  void Pump() {
    assert(IsMainThread());
    DeliverPending();
    GMainContext* context = Context();
    // Bounded so that a handler that keeps posting to itself cannot hold the caller here.
    for (int i = 0; context && i < 100 && g_main_context_iteration(context, FALSE); ++i) {
    }
  }

 private:
  static gboolean OnWakeThunk(gpointer data) {
    static_cast<Core*>(data)->OnWake();
    return G_SOURCE_REMOVE;
  }
  static gboolean OnTimerThunk(gpointer data);

  void OnWake() {
    {
      std::lock_guard lock(m_mutex);
      m_wakeScheduled = false;
    }
    DeliverPending();
  }

  // Moves the queue behind the batch in flight and delivers one message at a time, so a
  // nested loop started by a handler continues the same batch in order.
  void DeliverPending() {
    {
      std::lock_guard lock(m_mutex);
      std::move(m_queue.begin(), m_queue.end(), std::back_inserter(m_inFlight));
      m_queue.clear();
    }
    while (!m_inFlight.empty() && !m_quitRequested) {
      Message message = std::move(m_inFlight.front());
      m_inFlight.pop_front();
      if (!m_inFlight.empty()) {
        // A nested loop inside this handler must be woken for the rest of the batch.
        std::lock_guard lock(m_mutex);
        ScheduleWakeLocked();
      }
      Deliver(message);
    }
  }

  void Deliver(Message& message) {
    if (message.quit) {
      m_quitRequested = true;
      m_quitCode = message.quitCode;
      for (GMainLoop* loop : m_loops) {
        g_main_loop_quit(loop);
      }
      return;
    }
    if (message.closure) {
      message.closure();
      return;
    }
    MessageTarget* target = TargetOf(message.hwnd);
    if (!target) {
      return;  // the window is gone: the record, payload and reply go with it
    }
    LRESULT result = target->HandleMessage(message.msg, message.wParam, message.lParam, message.payload);
    message.reply.Answer(result);
  }

  // False when the source no longer belongs to a live timer (replaced or killed from
  // another thread while it was being dispatched): it then removes itself.
  bool OnTimer(const TimerTag& tag) {
    MessageTarget* target = nullptr;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_windows.find(tag.hwnd);
      if (it == m_windows.end()) {
        return false;
      }
      auto timer = it->second.timers.find(tag.id);
      if (timer == it->second.timers.end() || timer->second != g_main_current_source()) {
        return false;
      }
      target = it->second.target;
    }
    target->HandleMessage(WM_TIMER, tag.id, 0, {});
    return true;
  }

  // After the last loop has ended nobody will answer: release every waiting sender and
  // answer later ones at once. Posted messages stay for a later loop.
  void RefuseSends() {
    std::deque<Message> sends;
    auto isSend = [](const Message& m) { return static_cast<bool>(m.reply); };
    {
      std::lock_guard lock(m_mutex);
      m_refuseSends = true;
      MoveOut(m_queue, sends, isSend);
    }
    MoveOut(m_inFlight, sends, isSend);
  }

  // Moves the records matching `match` from `from` to `to`, keeping the order of the rest.
  template <class Match>
  static void MoveOut(std::deque<Message>& from, std::deque<Message>& to, Match match) {
    std::deque<Message> kept;
    for (Message& m : from) {
      (match(m) ? to : kept).push_back(std::move(m));
    }
    from.swap(kept);
  }

  void ScheduleWakeLocked() { AttachWake(ClaimWakeLocked()); }

  // The context to wake (with a reference) when no wake is scheduled yet, else null. Other
  // threads attach the wake after unlocking: attaching wakes the main thread, which would
  // at once wait for the mutex still held by a thread that may have lost its core.
  GMainContext* ClaimWakeLocked() {
    if (m_wakeScheduled || !m_context) {
      return nullptr;
    }
    m_wakeScheduled = true;
    return g_main_context_ref(m_context);
  }

  void AttachWake(GMainContext* context) {
    if (!context) {
      return;
    }
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, &Core::OnWakeThunk, this, nullptr);
    g_source_attach(source, context);
    g_source_unref(source);
    g_main_context_unref(context);
  }

  MessageTarget* TargetOf(HWND hwnd) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : it->second.target;
  }

  GMainContext* Context() {
    std::lock_guard lock(m_mutex);
    return m_context;
  }

  std::mutex m_mutex;  // guards the members up to m_mainThread
  GMainContext* m_context = nullptr;
  std::map<HWND, Window> m_windows;
  HWND m_lastHandle = kNoWindow;
  std::deque<Message> m_queue;
  bool m_wakeScheduled = false;
  bool m_refuseSends = true;

  std::atomic<std::thread::id> m_mainThread;

  // Main thread only.
  std::deque<Message> m_inFlight;
  std::vector<GMainLoop*> m_loops;
  bool m_quitRequested = false;
  int m_quitCode = 0;
};

// The core is never destroyed: threads that outlive main (the listen thread) may still post.
Core& TheCore() {
  alignas(Core) static unsigned char storage[sizeof(Core)];
  static Core* core = ::new (storage) Core();
  return *core;
}

gboolean Core::OnTimerThunk(gpointer data) {
  return TheCore().OnTimer(*static_cast<TimerTag*>(data)) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

}  // namespace

void InitMessageCore() { TheCore().Init(); }
void ShutdownMessageCore() { TheCore().Shutdown(); }
bool IsMainThread() { return TheCore().IsMainThread(); }

HWND RegisterWindow(MessageTarget* target, const std::wstring& className, const std::wstring& title) {
  return TheCore().Register(target, className, title);
}
void UnregisterWindow(HWND hwnd) { TheCore().Unregister(hwnd); }
bool IsWindow(HWND hwnd) { return TheCore().IsWindow(hwnd); }
void SetWindowTitle(HWND hwnd, const std::wstring& title) { TheCore().SetTitle(hwnd, title); }
HWND FindWindow(const std::wstring& className, const std::wstring& title) {
  return TheCore().Find(className, title);
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
  return TheCore().Post(Message{hwnd, msg, wParam, lParam, std::move(payload), {}, false, 0, {}});
}
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
  return TheCore().Send(hwnd, msg, wParam, lParam, std::move(payload));
}

bool SetTimer(HWND hwnd, UINT id, UINT ms) { return TheCore().SetTimer(hwnd, id, ms); }
bool KillTimer(HWND hwnd, UINT id) { return TheCore().KillTimer(hwnd, id); }

int RunMessageLoop() { return TheCore().RunLoop(); }
void PostQuitMessage(int exitCode) {
  Message quit;
  quit.quit = true;
  quit.quitCode = exitCode;
  TheCore().Post(std::move(quit));
}
void PostToMainLoop(std::function<void()> closure) {
  Message message;
  message.closure = std::move(closure);
  TheCore().Post(std::move(message));
}
void RunNestedLoopUntil(const std::function<bool()>& done) { TheCore().RunNestedUntil(done); }
void PumpPendingMessages() { TheCore().Pump(); }
