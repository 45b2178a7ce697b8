// The keyring calls: libsecret's asynchronous operations, each run to its end on a main
// context of the calling thread's own with a deadline, so that a keyring that never
// answers costs a worker some seconds and never the program a hang.
#include "account/PasswordKeyring.h"

#include <libsecret/secret.h>

#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/host/GtkIndicatorTray.h"

namespace {

// Long enough for the desktop to start its keyring service on demand or for the user to
// answer an unlock prompt; a keyring that has not answered by then counts as none.
constexpr guint kAnswerDeadlineMs = 30000;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct SecretFree {
  void operator()(gchar* secret) const { secret_password_free(secret); }
};
using SecretPtr = std::unique_ptr<gchar, SecretFree>;

struct ContextUnref {
  void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
struct SourceDestroy {
  void operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
  }
};

// The thread's own main context for the time of one call.
class PrivateContext {
 public:
  PrivateContext() : m_context(g_main_context_new()) { g_main_context_push_thread_default(m_context.get()); }
  ~PrivateContext() { g_main_context_pop_thread_default(m_context.get()); }
  PrivateContext(const PrivateContext&) = delete;
  PrivateContext& operator=(const PrivateContext&) = delete;
  GMainContext* get() const { return m_context.get(); }

 private:
  std::unique_ptr<GMainContext, ContextUnref> m_context;
};

const SecretSchema* Schema() {
  // Items are found by their attributes alone, whatever schema name they were stored with.
  static const SecretSchema schema = {"tavo.Password",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

constexpr const char* kApplication = "tavo";

// Starts one asynchronous call with `start(cancellable, callback, data)` and runs the
// private context until it has answered; past the deadline the call is cancelled and its
// (cancelled) answer awaited. The answer, for the call's finish function.
template <class Start>
ObjectPtr<GAsyncResult> Await(const PrivateContext& context, Start start) {
  ObjectPtr<GCancellable> cancellable(g_cancellable_new());
  std::unique_ptr<GSource, SourceDestroy> timer(g_timeout_source_new(kAnswerDeadlineMs));
  g_source_set_callback(
      timer.get(),
      +[](gpointer data) -> gboolean {
        g_cancellable_cancel(static_cast<GCancellable*>(data));
        return G_SOURCE_REMOVE;
      },
      cancellable.get(), nullptr);
  g_source_attach(timer.get(), context.get());
  GAsyncResult* answer = nullptr;
  start(
      cancellable.get(),
      +[](GObject*, GAsyncResult* result, gpointer data) {
        *static_cast<GAsyncResult**>(data) = G_ASYNC_RESULT(g_object_ref(result));
      },
      &answer);
  while (answer == nullptr) g_main_context_iteration(context.get(), TRUE);
  return ObjectPtr<GAsyncResult>(answer);
}

void LogFailure(const wchar_t* what, const std::string& account, const GError* error) {
  LogError(std::wstring(L"keyring: ") + what + L" " + AnsiToWide(account) + L" failed: " +
           AnsiToWide(error != nullptr ? error->message : "no answer"));
}

}  // namespace

bool IsKeyringAvailable() {
  // GLib would start a session bus of its own for this process otherwise (dbus-launch):
  // a keyring on such a bus would keep nothing past the program's end.
  if (!SessionBusReachable()) {
    LogNormal(L"keyring: no session bus");
    return false;
  }
  PrivateContext context;
  ObjectPtr<GAsyncResult> answer = Await(context, [](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
    secret_service_get(SECRET_SERVICE_OPEN_SESSION, cancellable, done, data);
  });
  GError* raw = nullptr;
  ObjectPtr<SecretService> service(secret_service_get_finish(answer.get(), &raw));
  ErrorPtr error(raw);
  if (!service) {
    // A desktop without a keyring is no fault of the program's.
    LogNormal(L"keyring: no Secret Service: " + AnsiToWide(error ? error->message : "no answer"));
    return false;
  }
  return true;
}

KeyringLookup LookupKeyringPassword(const std::string& account) {
  if (!SessionBusReachable()) return {};
  PrivateContext context;
  ObjectPtr<GAsyncResult> answer =
      Await(context, [&account](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_password_lookup(Schema(), cancellable, done, data, "application", kApplication, "account",
                               account.c_str(), nullptr);
      });
  GError* raw = nullptr;
  SecretPtr secret(secret_password_lookup_finish(answer.get(), &raw));
  ErrorPtr error(raw);
  if (error) {
    LogFailure(L"lookup", account, error.get());
    return {};
  }
  if (!secret) return {KeyringResult::kNotFound, {}};
  return {KeyringResult::kOk, secret.get()};
}

KeyringResult StoreKeyringPassword(const std::string& account, const std::string& password) {
  if (!SessionBusReachable()) return KeyringResult::kUnavailable;
  PrivateContext context;
  const std::string label = "Tavo 登录密码 (" + account + ")";
  ObjectPtr<GAsyncResult> answer =
      Await(context, [&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_password_store(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), cancellable,
                              done, data, "application", kApplication, "account", account.c_str(), nullptr);
      });
  GError* raw = nullptr;
  const bool stored = secret_password_store_finish(answer.get(), &raw);
  ErrorPtr error(raw);
  if (!stored) {
    LogFailure(L"store", account, error.get());
    return KeyringResult::kUnavailable;
  }
  return KeyringResult::kOk;
}

KeyringResult ForgetKeyringPassword(const std::string& account) {
  if (!SessionBusReachable()) return KeyringResult::kUnavailable;
  PrivateContext context;
  ObjectPtr<GAsyncResult> answer =
      Await(context, [&account](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_password_clear(Schema(), cancellable, done, data, "application", kApplication, "account",
                              account.c_str(), nullptr);
      });
  GError* raw = nullptr;
  // False without an error: there was no item to delete.
  secret_password_clear_finish(answer.get(), &raw);
  ErrorPtr error(raw);
  if (error) {
    LogFailure(L"forget", account, error.get());
    return KeyringResult::kUnavailable;
  }
  return KeyringResult::kOk;
}
