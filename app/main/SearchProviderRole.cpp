// The desktop's search provider process.
#include "app/main/SearchProviderRole.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>

#include <chrono>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "platform/BackgroundTask.h"
#include "platform/InstanceChannel.h"
#include "platform/MessageCore.h"
#include "platform/SearchProvider.h"
#include "study/SearchKeeper.h"
#include "study/SearchTarget.h"

namespace {

using Clock = std::chrono::steady_clock;
// The shell asks again as the student types; a quiet minute ends the process.
constexpr auto kIdleExit = std::chrono::seconds(60);
constexpr guint kIdleCheckMs = 5000;
constexpr int kHitsPerKind = 5;

const char* KindLabel(SearchKind kind) {
  switch (kind) {
    case SearchKind::Class:
      return "课程";
    case SearchKind::Lesson:
      return "课时";
    case SearchKind::Document:
      return "讲义";
    case SearchKind::Note:
      return "笔记";
    case SearchKind::Page:
      return "讲义内容";
  }
  return "";
}

std::vector<SearchProvider::Result> Results(const SearchResults& hits) {
  std::vector<SearchProvider::Result> results;
  for (const SearchHit& hit : hits) {
    const std::string id = TargetId(hit);
    if (!IsOpenTarget(id)) continue;
    std::string description = KindLabel(hit.kind);
    if (hit.kind == SearchKind::Page) description += " · 第" + std::to_string(hit.page) + "页";
    if (!hit.excerpt.empty()) description += " · " + hit.excerpt;
    results.push_back({id, hit.title, description});
  }
  return results;
}

std::string Joined(const std::vector<std::string>& terms) {
  std::string query;
  for (const std::string& term : terms) query += (query.empty() ? "" : " ") + term;
  return query;
}

void StartProgram() {
  gchar* argv[] = {const_cast<gchar*>("/proc/self/exe"), nullptr};
  GError* error = nullptr;
  if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error)) {
    LogError(L"desktop search: the program did not start: " + Utf8ToWide(error ? error->message : ""));
    g_clear_error(&error);
  }
}

// Hands the result to the running program, or starts the program when none runs.
void Open(const std::string& id) {
  if (!ParseTargetId(id)) {
    LogError(L"desktop search: not a result of ours: " + Utf8ToWide(id.substr(0, 80)));
    return;
  }
  if (AskRunningInstanceToOpen(InstanceChannelPath(), id) == InstanceAnswer::NoInstance) StartProgram();
}

}  // namespace

int RunSearchProvider() {
  InitMessageCore();
  OpenLog(L"searchlog");
  std::wstring account;
  ReadRegString(kSearchAccountValue, account);
  SetSignedInAccount(WideToAnsi(account));
  LogNormal(L"desktop search for " + (account.empty() ? std::wstring(L"no account") : account));

  auto lastCall = std::make_shared<Clock::time_point>(Clock::now());
  SearchProvider::Handlers handlers;
  handlers.search = [lastCall, hasAccount = !account.empty()](std::vector<std::string> terms,
                                                              SearchProvider::Reply reply) {
    *lastCall = Clock::now();
    if (!hasAccount) {
      reply({});
      return;
    }
    BackgroundTask::RunDetachedResult(
        [query = Joined(terms)](const CancelToken&) {
          return SearchIndex::OfSignedInAccount().Search(query, kHitsPerKind).value_or(SearchResults{});
        },
        [reply = std::move(reply)](SearchResults hits) { reply(Results(hits)); });
  };
  handlers.activate = [lastCall](const std::string& id) {
    *lastCall = Clock::now();
    Open(id);
  };
  handlers.launchSearch = [lastCall](std::vector<std::string>) {
    *lastCall = Clock::now();
    if (AskRunningInstance(InstanceChannelPath()) == InstanceAnswer::NoInstance) StartProgram();
  };
  SearchProvider provider(std::move(handlers));
  provider.SetOnOwnership([](bool owned) {
    if (!owned) PostQuitMessage(1);
  });
  guint idle = g_timeout_add(
      kIdleCheckMs,
      [](gpointer data) -> gboolean {
        if (Clock::now() - *static_cast<Clock::time_point*>(data) > kIdleExit) PostQuitMessage(0);
        return G_SOURCE_CONTINUE;
      },
      lastCall.get());
  const auto quit = [](gpointer) -> gboolean {
    PostQuitMessage(0);
    return G_SOURCE_CONTINUE;
  };
  guint interrupt = g_unix_signal_add(SIGINT, quit, nullptr);
  guint terminate = g_unix_signal_add(SIGTERM, quit, nullptr);
  const int code = RunMessageLoop();
  g_source_remove(idle);
  g_source_remove(interrupt);
  g_source_remove(terminate);
  WaitForBackgroundTasks(2000);
  PumpPendingMessages();
  ShutdownMessageCore();
  CloseLog();
  return code;
}
