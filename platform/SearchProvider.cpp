// The shell's search provider interface over GDBus.
#include "platform/SearchProvider.h"

#include <memory>

#include "app/Log.h"
#include "platform/DesktopBus.h"

namespace {

constexpr const char* kInterface = "org.gnome.Shell.SearchProvider2";
// The shell shows a handful; more would only cost the bus.
constexpr std::size_t kMaxResults = 50;

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.gnome.Shell.SearchProvider2">
    <method name="GetInitialResultSet">
      <arg type="as" name="terms" direction="in"/><arg type="as" name="results" direction="out"/>
    </method>
    <method name="GetSubsearchResultSet">
      <arg type="as" name="previous_results" direction="in"/><arg type="as" name="terms" direction="in"/>
      <arg type="as" name="results" direction="out"/>
    </method>
    <method name="GetResultMetas">
      <arg type="as" name="identifiers" direction="in"/><arg type="aa{sv}" name="metas" direction="out"/>
    </method>
    <method name="ActivateResult">
      <arg type="s" name="identifier" direction="in"/><arg type="as" name="terms" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="LaunchSearch">
      <arg type="as" name="terms" direction="in"/><arg type="u" name="timestamp" direction="in"/>
    </method>
  </interface>
</node>)";

std::vector<std::string> Strings(GVariant* array) {
  std::vector<std::string> strings;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  const gchar* text = nullptr;
  while (g_variant_iter_next(&iter, "&s", &text)) strings.emplace_back(text);
  return strings;
}

}  // namespace

SearchProvider::SearchProvider(Handlers handlers) : m_handlers(std::move(handlers)) {
  if (!DesktopSessionBusReachable()) return;
  m_cancel = g_cancellable_new();
  g_bus_get(G_BUS_TYPE_SESSION, m_cancel, &SearchProvider::OnBus, this);
}

SearchProvider::~SearchProvider() {
  *m_alive = false;
  if (m_cancel) {
    g_cancellable_cancel(m_cancel);
    g_object_unref(m_cancel);
  }
  if (m_nameId) g_bus_unown_name(m_nameId);
  if (m_bus) {
    if (m_objectId) g_dbus_connection_unregister_object(m_bus, m_objectId);
    g_object_unref(m_bus);
  }
  if (m_node) g_dbus_node_info_unref(m_node);
}

void SearchProvider::OnBus(GObject*, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (!bus) {
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_error_free(error);
    if (!cancelled) LogError(L"desktop search: no session bus");
    return;
  }
  auto* provider = static_cast<SearchProvider*>(self);
  if (g_cancellable_is_cancelled(provider->m_cancel)) {
    g_object_unref(bus);
    return;
  }
  provider->Register(bus);
}

void SearchProvider::Register(GDBusConnection* bus) {
  m_bus = bus;
  m_node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  static const GDBusInterfaceVTable vtable = {&SearchProvider::OnMethod, nullptr, nullptr, {}};
  m_objectId = g_dbus_connection_register_object(bus, kObjectPath, g_dbus_node_info_lookup_interface(m_node, kInterface),
                                                 &vtable, this, nullptr, nullptr);
  m_nameId = g_bus_own_name_on_connection(
      bus, kBusName, G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer self) {
        auto* provider = static_cast<SearchProvider*>(self);
        provider->m_owned = true;
        if (provider->m_onOwnership) provider->m_onOwnership(true);
      },
      [](GDBusConnection*, const gchar*, gpointer self) {
        auto* provider = static_cast<SearchProvider*>(self);
        LogError(L"desktop search: the bus name is taken or lost");
        provider->m_owned = false;
        if (provider->m_onOwnership) provider->m_onOwnership(false);
      },
      this, nullptr);
}

void SearchProvider::Answer(GDBusMethodInvocation* invocation, std::vector<std::string> terms) {
  if (!m_handlers.search) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", nullptr));
    return;
  }
  // The call is answered when the search replies; a provider gone by then answers nothing
  // more (the caller's call times out), and the invocation is released either way.
  g_object_ref(invocation);
  m_handlers.search(std::move(terms), [this, alive = m_alive, invocation](std::vector<Result> results) {
    GVariantBuilder ids;
    g_variant_builder_init(&ids, G_VARIANT_TYPE("as"));
    if (*alive) {
      // Names are kept for the metas the shell asks for next; older searches' go.
      if (m_known.size() > 4 * kMaxResults) m_known.clear();
      if (results.size() > kMaxResults) results.resize(kMaxResults);
      for (Result& result : results) {
        if (result.id.empty() || !g_utf8_validate(result.name.c_str(), -1, nullptr) ||
            !g_utf8_validate(result.description.c_str(), -1, nullptr))
          continue;
        g_variant_builder_add(&ids, "s", result.id.c_str());
        m_known[result.id] = std::move(result);
      }
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &ids));
    g_object_unref(invocation);
  });
}

void SearchProvider::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                              GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
  auto* provider = static_cast<SearchProvider*>(self);
  const std::string name = method;
  if (name == "GetInitialResultSet" || name == "GetSubsearchResultSet") {
    GVariant* terms = g_variant_get_child_value(parameters, name == "GetInitialResultSet" ? 0 : 1);
    std::vector<std::string> words = Strings(terms);
    g_variant_unref(terms);
    provider->Answer(invocation, std::move(words));
  } else if (name == "GetResultMetas") {
    GVariant* ids = g_variant_get_child_value(parameters, 0);
    GVariantBuilder metas;
    g_variant_builder_init(&metas, G_VARIANT_TYPE("aa{sv}"));
    for (const std::string& id : Strings(ids)) {
      const auto it = provider->m_known.find(id);
      if (it == provider->m_known.end()) continue;
      GVariantBuilder meta;
      g_variant_builder_init(&meta, G_VARIANT_TYPE("a{sv}"));
      g_variant_builder_add(&meta, "{sv}", "id", g_variant_new_string(id.c_str()));
      g_variant_builder_add(&meta, "{sv}", "name", g_variant_new_string(it->second.name.c_str()));
      g_variant_builder_add(&meta, "{sv}", "description", g_variant_new_string(it->second.description.c_str()));
      g_variant_builder_add(&metas, "a{sv}", &meta);
    }
    g_variant_unref(ids);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(aa{sv})", &metas));
  } else if (name == "ActivateResult") {
    const gchar* id = nullptr;
    g_variant_get_child(parameters, 0, "&s", &id);
    if (provider->m_handlers.activate) provider->m_handlers.activate(id);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (name == "LaunchSearch") {
    GVariant* terms = g_variant_get_child_value(parameters, 0);
    if (provider->m_handlers.launchSearch) provider->m_handlers.launchSearch(Strings(terms));
    g_variant_unref(terms);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s",
                                          method);
  }
}
