// The desktop's search (the shell's org.gnome.Shell.SearchProvider2 interface) on the
// session bus under kBusName at kObjectPath. The owner answers the searches, possibly
// later (the method call is answered when it replies), and opens what the student picks.
// Result names and descriptions are kept from the searches for GetResultMetas. Main
// thread only; the name and the object go with the object.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class SearchProvider {
 public:
  struct Result {
    std::string id;
    std::string name;
    std::string description;
  };
  using Reply = std::function<void(std::vector<Result>)>;
  struct Handlers {
    // Searches for `terms`; calls `reply` once, on the main thread.
    std::function<void(std::vector<std::string> terms, Reply reply)> search;
    // Opens a result (an id a search gave).
    std::function<void(const std::string& id)> activate;
    // Opens the program with the terms (the shell's "more results").
    std::function<void(std::vector<std::string> terms)> launchSearch;
  };

  static constexpr const char* kBusName = "org.tavo.Tavo.SearchProvider";
  static constexpr const char* kObjectPath = "/org/tavo/Tavo/SearchProvider";

  explicit SearchProvider(Handlers handlers);
  ~SearchProvider();
  SearchProvider(const SearchProvider&) = delete;
  SearchProvider& operator=(const SearchProvider&) = delete;

  // Whether the name is owned; `onOwned` runs when that changes (true: owned).
  bool IsRegistered() const { return m_owned; }
  void SetOnOwnership(std::function<void(bool owned)> onOwnership) { m_onOwnership = std::move(onOwnership); }

 private:
  static void OnBus(GObject*, GAsyncResult* result, gpointer self);
  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  void Register(GDBusConnection* bus);
  void Answer(GDBusMethodInvocation* invocation, std::vector<std::string> terms);

  Handlers m_handlers;
  std::map<std::string, Result> m_known;  // the results searches gave, by id
  std::function<void(bool)> m_onOwnership;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

  GCancellable* m_cancel = nullptr;
  GDBusConnection* m_bus = nullptr;
  GDBusNodeInfo* m_node = nullptr;
  guint m_objectId = 0;
  guint m_nameId = 0;
  bool m_owned = false;
};
