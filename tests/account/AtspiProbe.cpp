// An assistive-technology client for tests: finds the application with a process id on
// the accessibility bus and, through AT-SPI only, lists its tree or acts on it.
//   tavo-atspi-probe <pid> dump               one line per object:
//                                             depth<TAB>role<TAB>id<TAB>name<TAB>text<TAB>states
//   tavo-atspi-probe <pid> focused            the object with the keyboard focus:
//                                             role<TAB>id<TAB>name (exit code 1: none)
//   tavo-atspi-probe <pid> set <id> <text>    sets an edit's text through editable text
//   tavo-atspi-probe <pid> do <id> <action>   runs the named action
// An id may end in "#n" to pick its n-th object (from 0) in tree order, where several
// share the id (the same button in every row of a list).
// Exit code 0 on success, 1 when the object or action was not found, 2 on usage errors.
#include <atspi/atspi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Take(gchar* s) {
  std::string out = s ? s : "";
  g_free(s);
  return out;
}

std::string Clean(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n') c = ' ';
  return s;
}

std::string States(AtspiAccessible* a) {
  static const std::pair<AtspiStateType, const char*> kStates[] = {
      {ATSPI_STATE_ENABLED, "enabled"},   {ATSPI_STATE_FOCUSABLE, "focusable"}, {ATSPI_STATE_FOCUSED, "focused"},
      {ATSPI_STATE_SELECTED, "selected"}, {ATSPI_STATE_CHECKED, "checked"},     {ATSPI_STATE_SHOWING, "showing"},
      {ATSPI_STATE_EDITABLE, "editable"}, {ATSPI_STATE_EXPANDED, "expanded"},   {ATSPI_STATE_DEFUNCT, "defunct"},
  };
  AtspiStateSet* set = atspi_accessible_get_state_set(a);
  std::string out;
  for (const auto& [state, name] : kStates) {
    if (!atspi_state_set_contains(set, state)) continue;
    if (!out.empty()) out += ",";
    out += name;
  }
  g_object_unref(set);
  return out;
}

void Dump(AtspiAccessible* a, int depth) {
  std::string role = Take(atspi_accessible_get_role_name(a, nullptr));
  std::string id = Take(atspi_accessible_get_accessible_id(a, nullptr));
  std::string name = Take(atspi_accessible_get_name(a, nullptr));
  std::string text;
  if (AtspiText* t = atspi_accessible_get_text_iface(a)) {
    text = Take(atspi_text_get_text(t, 0, -1, nullptr));
    g_object_unref(t);
  }
  std::printf("%d\t%s\t%s\t%s\t%s\t%s\n", depth, Clean(role).c_str(), Clean(id).c_str(), Clean(name).c_str(),
              Clean(text).c_str(), States(a).c_str());
  gint n = atspi_accessible_get_child_count(a, nullptr);
  for (gint i = 0; i < n; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(a, i, nullptr);
    if (!child) continue;
    Dump(child, depth + 1);
    g_object_unref(child);
  }
}

// The first object below `a` (itself included) with the focused state (referenced), or null.
AtspiAccessible* FindFocused(AtspiAccessible* a) {
  AtspiStateSet* set = atspi_accessible_get_state_set(a);
  const bool focused = atspi_state_set_contains(set, ATSPI_STATE_FOCUSED);
  g_object_unref(set);
  if (focused) return ATSPI_ACCESSIBLE(g_object_ref(a));
  gint n = atspi_accessible_get_child_count(a, nullptr);
  for (gint i = 0; i < n; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(a, i, nullptr);
    if (!child) continue;
    AtspiAccessible* found = FindFocused(child);
    g_object_unref(child);
    if (found) return found;
  }
  return nullptr;
}

// The `skip`-th object (from 0) below `a` with this accessible id (referenced), or null;
// `skip` counts down the matches passed on the way.
AtspiAccessible* FindById(AtspiAccessible* a, const std::string& id, int& skip) {
  if (Take(atspi_accessible_get_accessible_id(a, nullptr)) == id && skip-- == 0)
    return ATSPI_ACCESSIBLE(g_object_ref(a));
  gint n = atspi_accessible_get_child_count(a, nullptr);
  for (gint i = 0; i < n; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(a, i, nullptr);
    if (!child) continue;
    AtspiAccessible* found = FindById(child, id, skip);
    g_object_unref(child);
    if (found) return found;
  }
  return nullptr;
}

// "id" or "id#n".
AtspiAccessible* Find(AtspiAccessible* app, const std::string& spec) {
  std::string id = spec;
  int skip = 0;
  if (size_t hash = spec.rfind('#'); hash != std::string::npos) {
    id = spec.substr(0, hash);
    skip = std::atoi(spec.c_str() + hash + 1);
  }
  return FindById(app, id, skip);
}

AtspiAccessible* FindApp(guint pid) {
  AtspiAccessible* desktop = atspi_get_desktop(0);
  AtspiAccessible* app = nullptr;
  gint n = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint i = 0; i < n && !app; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(desktop, i, nullptr);
    if (!child) continue;
    if (atspi_accessible_get_process_id(child, nullptr) == pid)
      app = child;
    else
      g_object_unref(child);
  }
  g_object_unref(desktop);
  return app;
}

bool DoAction(AtspiAccessible* a, const std::string& name) {
  AtspiAction* action = atspi_accessible_get_action_iface(a);
  if (!action) return false;
  bool done = false;
  gint n = atspi_action_get_n_actions(action, nullptr);
  for (gint i = 0; i < n && !done; ++i)
    if (Take(atspi_action_get_action_name(action, i, nullptr)) == name)
      done = atspi_action_do_action(action, i, nullptr);
  g_object_unref(action);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  if (atspi_init() < 0) return 2;
  guint pid = static_cast<guint>(std::strtoul(argv[1], nullptr, 10));
  std::string command = argv[2];
  AtspiAccessible* app = FindApp(pid);
  if (!app) {
    std::fprintf(stderr, "no application with pid %u on the accessibility bus\n", pid);
    return 1;
  }
  int rc = 0;
  if (command == "dump") {
    Dump(app, 0);
  } else if (command == "focused") {
    // The application and its windows hold the focused state too when active: the
    // innermost focused object is the one that takes the keys.
    AtspiAccessible* found = nullptr;
    for (AtspiAccessible* at = FindFocused(app); at;) {
      if (found) g_object_unref(found);
      found = at;
      at = nullptr;
      gint n = atspi_accessible_get_child_count(found, nullptr);
      for (gint i = 0; i < n && !at; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(found, i, nullptr);
        if (!child) continue;
        at = FindFocused(child);
        g_object_unref(child);
      }
    }
    if (found) {
      std::printf("%s\t%s\t%s\n", Clean(Take(atspi_accessible_get_role_name(found, nullptr))).c_str(),
                  Clean(Take(atspi_accessible_get_accessible_id(found, nullptr))).c_str(),
                  Clean(Take(atspi_accessible_get_name(found, nullptr))).c_str());
      g_object_unref(found);
    } else {
      rc = 1;
    }
  } else if ((command == "set" || command == "do") && argc == 5) {
    AtspiAccessible* target = Find(app, argv[3]);
    if (!target) {
      rc = 1;
    } else if (command == "set") {
      AtspiEditableText* edit = atspi_accessible_get_editable_text_iface(target);
      rc = edit && atspi_editable_text_set_text_contents(edit, argv[4], nullptr) ? 0 : 1;
      if (edit) g_object_unref(edit);
    } else {
      rc = DoAction(target, argv[4]) ? 0 : 1;
    }
    if (target) g_object_unref(target);
  } else {
    rc = 2;
  }
  g_object_unref(app);
  std::fflush(stdout);
  return rc;
}
