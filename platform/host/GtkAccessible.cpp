// ATK objects for accessible nodes, the drawing area's accessible that lists them, and
// the sink that turns node reports into ATK signals.
#include "platform/host/GtkAccessible.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/host/AccessibleNativeHost.h"
#include "platform/host/AccessibleNode.h"
#include "platform/host/GtkDrawnWindow.h"

namespace {

using NodeList = std::vector<AccessibleNode*>;

// The instance shared by every node object. The node pointer turns null when the node
// goes; the object then answers as defunct until the last reference is dropped.
struct TavoNode {
  AtkObject parent;
  AccessibleNode* node;
  unsigned states;     // as last reported
  int textLength;      // in characters, as last reported
  gchar* name;         // the buffer get_name hands out
  NodeList* children;  // as last handed out; null until asked
};
struct TavoNodeClass {
  AtkObjectClass parent_class;
};
struct TavoTextNode {
  TavoNode parent;
};
struct TavoTextNodeClass {
  TavoNodeClass parent_class;
};
struct TavoValueNode {
  TavoNode parent;
};
struct TavoValueNodeClass {
  TavoNodeClass parent_class;
};
struct TavoArea {
  GtkDrawingArea parent;
};
struct TavoAreaClass {
  GtkDrawingAreaClass parent_class;
};
struct TavoAreaAcc {
  GtkWidgetAccessible parent;
};
struct TavoAreaAccClass {
  GtkWidgetAccessibleClass parent_class;
};

void tavo_node_component_init(AtkComponentIface* iface);
void tavo_node_action_init(AtkActionIface* iface);
void tavo_text_node_text_init(AtkTextIface* iface);
void tavo_text_node_editable_init(AtkEditableTextIface* iface);
void tavo_value_node_value_init(AtkValueIface* iface);

G_DEFINE_TYPE_WITH_CODE(TavoNode, tavo_node, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, tavo_node_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, tavo_node_action_init))
G_DEFINE_TYPE_WITH_CODE(TavoTextNode, tavo_text_node, tavo_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, tavo_text_node_text_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, tavo_text_node_editable_init))
G_DEFINE_TYPE_WITH_CODE(TavoValueNode, tavo_value_node, tavo_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, tavo_value_node_value_init))
G_DEFINE_TYPE(TavoAreaAcc, tavo_area_acc, GTK_TYPE_WIDGET_ACCESSIBLE)
G_DEFINE_TYPE(TavoArea, tavo_area, GTK_TYPE_DRAWING_AREA)

constexpr const char* kWindowKey = "tavo-drawn-window";
constexpr const char* kChildrenKey = "tavo-children";

// The live node objects, each holding the reference this map owns.
std::unordered_map<AccessibleNode*, TavoNode*>& Objects() {
  static std::unordered_map<AccessibleNode*, TavoNode*> objects;
  return objects;
}

TavoNode* Self(gpointer p) { return reinterpret_cast<TavoNode*>(p); }
AccessibleNode* NodeOf(gpointer p) { return Self(p)->node; }

AtkObject* ObjectFor(AccessibleNode* node) {
  auto& objects = Objects();
  auto it = objects.find(node);
  if (it != objects.end()) return ATK_OBJECT(it->second);
  GType type = tavo_node_get_type();
  if (node->HasText())
    type = tavo_text_node_get_type();
  else if (node->HasValue())
    type = tavo_value_node_get_type();
  auto* self = Self(g_object_new(type, nullptr));
  self->node = node;
  self->states = node->States();
  self->textLength = static_cast<int>(g_utf8_strlen(node->Text().c_str(), -1));
  atk_object_set_accessible_id(ATK_OBJECT(self), node->Id().c_str());
  objects[node] = self;
  return ATK_OBJECT(self);
}

TavoNode* Find(AccessibleNode* node) {
  auto it = Objects().find(node);
  return it == Objects().end() ? nullptr : it->second;
}

GtkDrawnWindow* DrawnWindowOf(AccessibleNode* node) {
  return node ? dynamic_cast<GtkDrawnWindow*>(node->Window()) : nullptr;
}

// The accessible of the drawing area a node is drawn in, or null.
AtkObject* AreaObjectOf(AccessibleNode* node) {
  GtkDrawnWindow* w = DrawnWindowOf(node);
  return w && w->Area() ? gtk_widget_get_accessible(w->Area()) : nullptr;
}

AccessibleNode* RootOfArea(GtkWidget* area) {
  auto* w = area ? static_cast<GtkDrawnWindow*>(g_object_get_data(G_OBJECT(area), kWindowKey)) : nullptr;
  return w && w->Delegate() ? w->Delegate()->AccessibleRoot() : nullptr;
}

NodeList ChildrenOf(AccessibleNode* node) { return node ? node->Children() : NodeList{}; }

// Hands out child `i` of `children` with `parent` as its parent, remembering the list.
AtkObject* RefChild(AtkObject* parent, NodeList*& cache, NodeList children, gint i) {
  if (!cache) cache = new NodeList;
  *cache = std::move(children);
  if (i < 0 || i >= static_cast<gint>(cache->size())) return nullptr;
  AtkObject* child = ObjectFor((*cache)[static_cast<size_t>(i)]);
  if (atk_object_get_parent(child) != parent) atk_object_set_parent(child, parent);
  return ATK_OBJECT(g_object_ref(child));
}

AtkRole AtkRoleOf(const AccessibleNode& node) {
  switch (node.Role()) {
    case AccRole::Panel:
    case AccRole::Layer:
      return ATK_ROLE_PANEL;
    case AccRole::PushButton:
      return ATK_ROLE_PUSH_BUTTON;
    case AccRole::CheckBox:
      return ATK_ROLE_CHECK_BOX;
    case AccRole::RadioButton:
      return ATK_ROLE_RADIO_BUTTON;
    case AccRole::ToggleButton:
      return ATK_ROLE_TOGGLE_BUTTON;
    case AccRole::Text:
      return (node.States() & kAccMultiLine) ? ATK_ROLE_TEXT : ATK_ROLE_ENTRY;
    case AccRole::PasswordText:
      return ATK_ROLE_PASSWORD_TEXT;
    case AccRole::Label:
      return ATK_ROLE_LABEL;
    case AccRole::List:
      return ATK_ROLE_LIST;
    case AccRole::ListItem:
      return ATK_ROLE_LIST_ITEM;
    case AccRole::Table:
      return ATK_ROLE_TABLE;
    case AccRole::TableRow:
      return ATK_ROLE_TABLE_ROW;
    case AccRole::TableCell:
      return ATK_ROLE_TABLE_CELL;
    case AccRole::Tree:
      return ATK_ROLE_TREE;
    case AccRole::TreeItem:
      return ATK_ROLE_TREE_ITEM;
    case AccRole::ProgressBar:
      return ATK_ROLE_PROGRESS_BAR;
    case AccRole::ComboBox:
      return ATK_ROLE_COMBO_BOX;
    case AccRole::Menu:
      return ATK_ROLE_MENU;
    case AccRole::MenuItem:
      return ATK_ROLE_MENU_ITEM;
    case AccRole::ScrollBar:
      return ATK_ROLE_SCROLL_BAR;
    case AccRole::PageTabList:
      return ATK_ROLE_PAGE_TAB_LIST;
    case AccRole::PageTab:
      return ATK_ROLE_PAGE_TAB;
    case AccRole::Image:
      return ATK_ROLE_IMAGE;
    case AccRole::Unknown:
      break;
  }
  return ATK_ROLE_UNKNOWN;
}

// The ATK states each node state bit stands for.
struct StateMap {
  unsigned bit;
  AtkStateType state;
};
constexpr StateMap kStates[] = {
    {kAccEnabled, ATK_STATE_ENABLED},       {kAccEnabled, ATK_STATE_SENSITIVE},
    {kAccFocusable, ATK_STATE_FOCUSABLE},   {kAccFocused, ATK_STATE_FOCUSED},
    {kAccSelectable, ATK_STATE_SELECTABLE}, {kAccSelected, ATK_STATE_SELECTED},
    {kAccCheckable, ATK_STATE_CHECKABLE},   {kAccChecked, ATK_STATE_CHECKED},
    {kAccVisible, ATK_STATE_VISIBLE},       {kAccShowing, ATK_STATE_SHOWING},
    {kAccExpandable, ATK_STATE_EXPANDABLE}, {kAccExpanded, ATK_STATE_EXPANDED},
    {kAccEditable, ATK_STATE_EDITABLE},     {kAccMultiLine, ATK_STATE_MULTI_LINE},
};

// --- AtkObject ---

const gchar* NodeGetName(AtkObject* obj) {
  TavoNode* self = Self(obj);
  // A name set through ATK wins, as ATK expects.
  if (obj->name) return obj->name;
  g_free(self->name);
  self->name = self->node ? g_strdup(self->node->Name().c_str()) : nullptr;
  return self->name;
}

AtkObject* NodeGetParent(AtkObject* obj) {
  AccessibleNode* node = NodeOf(obj);
  if (!node) return obj->accessible_parent;
  if (AccessibleNode* p = node->Parent()) return ObjectFor(p);
  if (AtkObject* area = AreaObjectOf(node)) return area;
  return obj->accessible_parent;
}

// The accessible of the widget a node hosts (a browser view keeps its own tree), or null.
AtkObject* NativeObjectOf(AccessibleNode* node) {
  auto* host = dynamic_cast<AccessibleNativeHost*>(node);
  void* widget = host ? host->NativeWidget() : nullptr;
  return widget && GTK_IS_WIDGET(widget) ? gtk_widget_get_accessible(GTK_WIDGET(widget)) : nullptr;
}

gint NodeGetNChildren(AtkObject* obj) {
  AccessibleNode* node = NodeOf(obj);
  return static_cast<gint>(ChildrenOf(node).size()) + (NativeObjectOf(node) ? 1 : 0);
}

AtkObject* NodeRefChild(AtkObject* obj, gint i) {
  AccessibleNode* node = NodeOf(obj);
  NodeList children = ChildrenOf(node);
  if (i == static_cast<gint>(children.size())) {
    AtkObject* native = NativeObjectOf(node);
    if (!native) return nullptr;
    // Its parent is the control that hosts it, so that the way up matches the way down.
    if (atk_object_get_parent(native) != obj) atk_object_set_parent(native, obj);
    return ATK_OBJECT(g_object_ref(native));
  }
  return RefChild(obj, Self(obj)->children, std::move(children), i);
}

gint NodeGetIndexInParent(AtkObject* obj) {
  AccessibleNode* node = NodeOf(obj);
  if (!node) return -1;
  NodeList siblings;
  if (AccessibleNode* p = node->Parent()) {
    siblings = p->Children();
  } else if (GtkDrawnWindow* w = DrawnWindowOf(node); w && w->Delegate()) {
    siblings = ChildrenOf(w->Delegate()->AccessibleRoot());
  }
  auto it = std::find(siblings.begin(), siblings.end(), node);
  return it == siblings.end() ? -1 : static_cast<gint>(it - siblings.begin());
}

AtkRole NodeGetRole(AtkObject* obj) {
  AccessibleNode* node = NodeOf(obj);
  return node ? AtkRoleOf(*node) : ATK_ROLE_UNKNOWN;
}

AtkStateSet* NodeRefStateSet(AtkObject* obj) {
  AtkStateSet* set = atk_state_set_new();
  AccessibleNode* node = NodeOf(obj);
  if (!node) {
    atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
    return set;
  }
  unsigned s = node->States();
  for (const StateMap& m : kStates)
    if (s & m.bit) atk_state_set_add_state(set, m.state);
  if ((s & kAccExpandable) && !(s & kAccExpanded)) atk_state_set_add_state(set, ATK_STATE_COLLAPSED);
  if (node->HasText() && !(s & kAccMultiLine)) atk_state_set_add_state(set, ATK_STATE_SINGLE_LINE);
  return set;
}

void NodeFinalize(GObject* obj) {
  TavoNode* self = Self(obj);
  g_free(self->name);
  delete self->children;
  G_OBJECT_CLASS(tavo_node_parent_class)->finalize(obj);
}

void tavo_node_class_init(TavoNodeClass* klass) {
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_name = NodeGetName;
  atk->get_parent = NodeGetParent;
  atk->get_n_children = NodeGetNChildren;
  atk->ref_child = NodeRefChild;
  atk->get_index_in_parent = NodeGetIndexInParent;
  atk->get_role = NodeGetRole;
  atk->ref_state_set = NodeRefStateSet;
  G_OBJECT_CLASS(klass)->finalize = NodeFinalize;
}

void tavo_node_init(TavoNode* self) {
  self->node = nullptr;
  self->states = 0;
  self->textLength = 0;
  self->name = nullptr;
  self->children = nullptr;
}

void tavo_text_node_class_init(TavoTextNodeClass*) {}
void tavo_text_node_init(TavoTextNode*) {}
void tavo_value_node_class_init(TavoValueNodeClass*) {}
void tavo_value_node_init(TavoValueNode*) {}

// --- AtkComponent ---

void GetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType type) {
  *x = *y = *width = *height = -1;
  AccessibleNode* node = NodeOf(component);
  GtkDrawnWindow* w = DrawnWindowOf(node);
  if (!w || !w->Area()) return;
  GdkWindow* gdkWindow = gtk_widget_get_window(w->Area());
  if (!gdkWindow) return;
  HostRect r = node->Extents();
  int ox = 0, oy = 0;
  gdk_window_get_origin(gdkWindow, &ox, &oy);
  if (type == ATK_XY_WINDOW) {
    int tx = 0, ty = 0;
    gdk_window_get_origin(gdk_window_get_toplevel(gdkWindow), &tx, &ty);
    ox -= tx;
    oy -= ty;
  } else if (type == ATK_XY_PARENT) {
    HostRect p = node->Parent() ? node->Parent()->Extents() : HostRect{};
    ox = -p.x;
    oy = -p.y;
  }
  *x = r.x + ox;
  *y = r.y + oy;
  *width = r.width;
  *height = r.height;
}

gboolean ComponentGrabFocus(AtkComponent* component) {
  AccessibleNode* node = NodeOf(component);
  GtkDrawnWindow* w = DrawnWindowOf(node);
  if (!w) return FALSE;
  if (w->Area()) gtk_widget_grab_focus(w->Area());
  return node->GrabFocus();
}

void tavo_node_component_init(AtkComponentIface* iface) {
  iface->get_extents = GetExtents;
  iface->grab_focus = ComponentGrabFocus;
}

// --- AtkAction ---

gint GetNActions(AtkAction* action) {
  AccessibleNode* node = NodeOf(action);
  return node ? static_cast<gint>(node->Actions().size()) : 0;
}

const gchar* GetActionName(AtkAction* action, gint i) {
  AccessibleNode* node = NodeOf(action);
  if (!node) return nullptr;
  std::vector<std::string> actions = node->Actions();
  if (i < 0 || i >= static_cast<gint>(actions.size())) return nullptr;
  return g_intern_string(actions[static_cast<size_t>(i)].c_str());
}

struct PendingAction {
  TavoNode* self;  // referenced
  gint index;
};

// Actions run from the main loop, after the caller on the bus has its answer: a click
// may open a modal window.
gboolean RunAction(gpointer data) {
  auto* pending = static_cast<PendingAction*>(data);
  if (pending->self->node) pending->self->node->DoAction(pending->index);
  g_object_unref(pending->self);
  delete pending;
  return G_SOURCE_REMOVE;
}

gboolean DoAction(AtkAction* action, gint i) {
  AccessibleNode* node = NodeOf(action);
  if (!node || i < 0 || i >= static_cast<gint>(node->Actions().size())) return FALSE;
  if (!(node->States() & kAccEnabled)) return FALSE;
  g_idle_add(RunAction, new PendingAction{Self(g_object_ref(action)), i});
  return TRUE;
}

void tavo_node_action_init(AtkActionIface* iface) {
  iface->get_n_actions = GetNActions;
  iface->get_name = GetActionName;
  iface->do_action = DoAction;
}

// --- AtkText and AtkEditableText ---

std::string TextOf(gpointer obj) {
  AccessibleNode* node = NodeOf(obj);
  return node ? node->Text() : std::string();
}

gchar* GetText(AtkText* text, gint start, gint end) {
  std::string s = TextOf(text);
  glong n = g_utf8_strlen(s.c_str(), -1);
  if (end < 0 || end > n) end = static_cast<gint>(n);
  start = std::clamp<gint>(start, 0, end);
  return g_utf8_substring(s.c_str(), start, end);
}

gint GetCharacterCount(AtkText* text) { return static_cast<gint>(g_utf8_strlen(TextOf(text).c_str(), -1)); }

gunichar GetCharacterAtOffset(AtkText* text, gint offset) {
  std::string s = TextOf(text);
  if (offset < 0 || offset >= g_utf8_strlen(s.c_str(), -1)) return 0;
  return g_utf8_get_char(g_utf8_offset_to_pointer(s.c_str(), offset));
}

gint GetCaretOffset(AtkText* text) {
  AccessibleNode* node = NodeOf(text);
  return node ? node->Caret() : 0;
}

gboolean SetCaretOffset(AtkText* text, gint offset) {
  AccessibleNode* node = NodeOf(text);
  return node && node->SetCaret(offset);
}

void tavo_text_node_text_init(AtkTextIface* iface) {
  iface->get_text = GetText;
  iface->get_character_count = GetCharacterCount;
  iface->get_character_at_offset = GetCharacterAtOffset;
  iface->get_caret_offset = GetCaretOffset;
  iface->set_caret_offset = SetCaretOffset;
}

void SetTextContents(AtkEditableText* text, const gchar* contents) {
  if (AccessibleNode* node = NodeOf(text)) node->SetText(contents ? contents : "");
}

void InsertText(AtkEditableText* text, const gchar* string, gint length, gint* position) {
  AccessibleNode* node = NodeOf(text);
  if (!node || !string || !position) return;
  std::string s = node->Text();
  glong n = g_utf8_strlen(s.c_str(), -1);
  gint at = std::clamp<gint>(*position, 0, static_cast<gint>(n));
  std::string add = length < 0 ? std::string(string) : std::string(string, static_cast<size_t>(length));
  size_t byte = static_cast<size_t>(g_utf8_offset_to_pointer(s.c_str(), at) - s.c_str());
  s.insert(byte, add);
  if (node->SetText(s)) *position = at + static_cast<gint>(g_utf8_strlen(add.c_str(), -1));
}

void DeleteText(AtkEditableText* text, gint start, gint end) {
  AccessibleNode* node = NodeOf(text);
  if (!node) return;
  std::string s = node->Text();
  gint n = static_cast<gint>(g_utf8_strlen(s.c_str(), -1));
  if (end < 0 || end > n) end = n;
  start = std::clamp<gint>(start, 0, end);
  size_t from = static_cast<size_t>(g_utf8_offset_to_pointer(s.c_str(), start) - s.c_str());
  size_t to = static_cast<size_t>(g_utf8_offset_to_pointer(s.c_str(), end) - s.c_str());
  s.erase(from, to - from);
  node->SetText(s);
}

void tavo_text_node_editable_init(AtkEditableTextIface* iface) {
  iface->set_text_contents = SetTextContents;
  iface->insert_text = InsertText;
  iface->delete_text = DeleteText;
}

// --- AtkValue ---

void GetValueAndText(AtkValue* value, gdouble* current, gchar** text) {
  AccessibleNode* node = NodeOf(value);
  if (current) *current = node ? node->Value() : 0;
  if (text) *text = nullptr;
}

AtkRange* GetRange(AtkValue* value) {
  AccessibleNode* node = NodeOf(value);
  return node ? atk_range_new(node->MinValue(), node->MaxValue(), nullptr) : nullptr;
}

void SetValue(AtkValue* value, gdouble v) {
  if (AccessibleNode* node = NodeOf(value)) node->SetValue(v);
}

void tavo_value_node_value_init(AtkValueIface* iface) {
  iface->get_value_and_text = GetValueAndText;
  iface->get_range = GetRange;
  iface->set_value = SetValue;
}

// --- The drawing area and its accessible ---

NodeList*& AreaCache(AtkObject* obj) {
  auto* holder = static_cast<NodeList**>(g_object_get_data(G_OBJECT(obj), kChildrenKey));
  if (!holder) {
    holder = new NodeList*(nullptr);
    g_object_set_data_full(G_OBJECT(obj), kChildrenKey, holder, [](gpointer p) {
      auto* h = static_cast<NodeList**>(p);
      delete *h;
      delete h;
    });
  }
  return *holder;
}

GtkWidget* AreaWidget(AtkObject* obj) { return gtk_accessible_get_widget(GTK_ACCESSIBLE(obj)); }

gint AreaGetNChildren(AtkObject* obj) { return static_cast<gint>(ChildrenOf(RootOfArea(AreaWidget(obj))).size()); }

AtkObject* AreaRefChild(AtkObject* obj, gint i) {
  return RefChild(obj, AreaCache(obj), ChildrenOf(RootOfArea(AreaWidget(obj))), i);
}

void AreaInitialize(AtkObject* obj, gpointer data) {
  ATK_OBJECT_CLASS(tavo_area_acc_parent_class)->initialize(obj, data);
  obj->role = ATK_ROLE_PANEL;
}

void tavo_area_acc_class_init(TavoAreaAccClass* klass) {
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->initialize = AreaInitialize;
  atk->get_n_children = AreaGetNChildren;
  atk->ref_child = AreaRefChild;
}

void tavo_area_acc_init(TavoAreaAcc*) {}

void tavo_area_class_init(TavoAreaClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), tavo_area_acc_get_type());
}

void tavo_area_init(TavoArea*) {}

// --- Reports to signals ---

void EmitChildrenChanged(AtkObject* parent, NodeList*& cache, const NodeList& now) {
  if (!cache) return;  // nobody has looked at the children yet
  NodeList before = *cache;
  for (size_t i = before.size(); i-- > 0;) {
    if (std::find(now.begin(), now.end(), before[i]) != now.end()) continue;
    TavoNode* gone = Find(before[i]);
    g_signal_emit_by_name(parent, "children-changed::remove", static_cast<guint>(i),
                          gone ? static_cast<gpointer>(gone) : nullptr);
  }
  *cache = now;
  for (size_t i = 0; i < now.size(); ++i) {
    if (std::find(before.begin(), before.end(), now[i]) != before.end()) continue;
    AtkObject* child = ObjectFor(now[i]);
    atk_object_set_parent(child, parent);
    g_signal_emit_by_name(parent, "children-changed::add", static_cast<guint>(i), child);
  }
}

void EmitStates(TavoNode* self) {
  unsigned now = self->node->States();
  unsigned changed = now ^ self->states;
  self->states = now;
  for (const StateMap& m : kStates)
    if (changed & m.bit) atk_object_notify_state_change(ATK_OBJECT(self), m.state, (now & m.bit) != 0);
  if (changed & (kAccExpandable | kAccExpanded)) {
    bool collapsed = (now & kAccExpandable) && !(now & kAccExpanded);
    atk_object_notify_state_change(ATK_OBJECT(self), ATK_STATE_COLLAPSED, collapsed);
  }
}

class AtkSink : public AccessibleSink {
 public:
  ~AtkSink() override {
    if (GetAccessibleSink() == this) SetAccessibleSink(nullptr);
  }
  void OnAccessibleEvent(AccessibleNode* node, AccEvent event) override {
    if (event == AccEvent::ChildrenChanged) {
      ChildrenChanged(node);
      return;
    }
    TavoNode* self = event == AccEvent::Focus ? Self(ObjectFor(node)) : Find(node);
    if (!self) return;
    AtkObject* obj = ATK_OBJECT(self);
    switch (event) {
      case AccEvent::Focus:
        if (m_focused && m_focused != node) {
          if (TavoNode* old = Find(m_focused)) EmitStates(old);
        }
        m_focused = node;
        // Focus is always announced, even for an object made just now.
        self->states &= ~kAccFocused;
        EmitStates(self);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        atk_focus_tracker_notify(obj);
        G_GNUC_END_IGNORE_DEPRECATIONS
        break;
      case AccEvent::StateChanged:
        EmitStates(self);
        break;
      case AccEvent::NameChanged:
        g_object_notify(G_OBJECT(obj), "accessible-name");
        break;
      case AccEvent::TextChanged: {
        if (!node->HasText()) break;
        std::string text = node->Text();
        int length = static_cast<int>(g_utf8_strlen(text.c_str(), -1));
        if (self->textLength > 0) g_signal_emit_by_name(obj, "text-changed::delete", 0, self->textLength);
        self->textLength = length;
        if (length > 0) g_signal_emit_by_name(obj, "text-changed::insert", 0, length);
        break;
      }
      case AccEvent::ValueChanged:
        if (node->HasValue()) g_signal_emit_by_name(obj, "value-changed", node->Value(), static_cast<gchar*>(nullptr));
        break;
      default:
        break;
    }
  }

  void OnAccessibleGone(AccessibleNode* node) override {
    if (m_focused == node) m_focused = nullptr;
    auto it = Objects().find(node);
    if (it == Objects().end()) return;
    TavoNode* self = it->second;
    Objects().erase(it);
    self->node = nullptr;
    atk_object_notify_state_change(ATK_OBJECT(self), ATK_STATE_DEFUNCT, TRUE);
    g_object_unref(self);
  }

 private:
  void ChildrenChanged(AccessibleNode* node) {
    GtkDrawnWindow* w = DrawnWindowOf(node);
    // The root node of a window stands for its drawing area.
    if (w && w->Area() && w->Delegate() && w->Delegate()->AccessibleRoot() == node) {
      AtkObject* area = gtk_widget_get_accessible(w->Area());
      EmitChildrenChanged(area, AreaCache(area), node->Children());
      return;
    }
    if (TavoNode* self = Find(node)) EmitChildrenChanged(ATK_OBJECT(self), self->children, node->Children());
  }

  AccessibleNode* m_focused = nullptr;
};

}  // namespace

GtkWidget* NewAccessibleArea(GtkDrawnWindow* window) {
  GtkWidget* area = GTK_WIDGET(g_object_new(tavo_area_get_type(), nullptr));
  g_object_set_data(G_OBJECT(area), kWindowKey, window);
  return area;
}

void ForgetAccessibleArea(GtkWidget* area) { g_object_set_data(G_OBJECT(area), kWindowKey, nullptr); }

namespace {

bool HoldsFocusable(AccessibleNode* node) {
  if (!node) return false;
  if (node->States() & kAccFocusable) return true;
  for (AccessibleNode* child : node->Children())
    if (HoldsFocusable(child)) return true;
  return false;
}

}  // namespace

bool WidgetTakesKeys(GtkWidget* widget) {
  if (!G_TYPE_CHECK_INSTANCE_TYPE(widget, tavo_area_get_type())) return true;
  return HoldsFocusable(RootOfArea(widget));
}

void InstallAtkSink() {
  static AtkSink sink;
  SetAccessibleSink(&sink);
}
