// The GTK host on a real display (Xvfb): a skin in a window, clicks and typing from
// xdotool, a layer drawn with transparency above a native child widget, caption drag.
// Screenshots are saved next to the build for a person to open.
#include <errno.h>
#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/GtkLoop.h"
#include "support/PrivateDisplay.h"
#include "support/Waiting.h"
#include "UiTestSupport.h"
#include "platform/host/GtkDrawnWindow.h"
#include "platform/host/GtkHost.h"
#include "ui/Container.h"
#include "ui/Edit.h"
#include "ui/NativeView.h"

namespace {

bool RunFor(const std::function<bool()>& done, int ms = static_cast<int>(kWaitGuard.count())) { return RunGtkUntil(done, ms); }

// Runs what is pending (an input shape set after a drawing, for one) and waits until the
// X server has carried out every request so far.
void Flush() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  PumpPendingMessages();
  gdk_display_sync(gdk_display_get_default());
}

void Settle(int ms = 300) {
  RunFor([] { return false; }, ms);
}

bool Xdotool(const std::string& args) {
  return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// One pixel of the screen (root window).
uint32_t ScreenPixel(int x, int y) {
  GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
  if (!pb) return 0;
  const guchar* p = gdk_pixbuf_read_pixels(pb);
  uint32_t rgb = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  g_object_unref(pb);
  return rgb;
}

void SaveScreen(const std::string& name) {
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* pb =
      gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
  if (!pb) return;
  gdk_pixbuf_save(pb, (std::string(TAVO_BINARY_DIR) + "/" + name).c_str(), "png", nullptr, nullptr);
  g_object_unref(pb);
}

gboolean DrawBlue(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_paint(cr);
  return TRUE;
}

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1280x1024x24"));

}  // namespace

class GtkHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    dir = std::filesystem::temp_directory_path() / ("tavo-gtk-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    CResourceStore::Get().SetFolder(dir.string());
  }
  void TearDown() override {
    ShutdownMessageCore();
    std::filesystem::remove_all(dir);
  }
  // Shows the skin at (x, y) and waits until the screen shows `probe` (the colour the
  // skin paints at probeX, probeY inside the window), so input sent next finds it there.
  struct Probe {
    int x;
    int y;
    uint32_t rgb;
  };
  std::unique_ptr<RecordingWnd> Open(const std::string& file, const std::string& xml, int x, int y, Probe probe) {
    std::ofstream(dir / file) << xml;
    auto w = std::make_unique<RecordingWnd>(FromUtf8(file));
    w->Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    CDuiRect r = w->GetWindowRect();
    w->MoveWindow({x, y, x + r.GetWidth(), y + r.GetHeight()});
    w->ShowWindow(true);
    EXPECT_TRUE(RunFor([&] { return ScreenPixel(x + probe.x, y + probe.y) == probe.rgb; }))
        << file << " not drawn: " << std::hex << ScreenPixel(x + probe.x, y + probe.y);
    return w;
  }
  std::filesystem::path dir;
};

TEST_F(GtkHostTest, ClicksAndTypingReachControls) {
  auto w = Open("form.xml", R"(<Window size="360,240" caption="0,0,0,40"><Font id="0" size="14"/>
      <VerticalLayout bkcolor="#FFFFFFFF" inset="20,50,20,20" childpadding="10">
        <Edit name="user" height="36" font="0" bordercolor="#FFD9D9D9" bordersize="1" prompttext="请输入账号"/>
        <Button name="login" height="40" text="登 录" bkcolor="#FFFF854D" textcolor="#FFFFFFFF" font="0"/>
      </VerticalLayout></Window>)",
                100, 100, {30, 116, 0xFF854Du});
  CDuiRect login = w->FindControl(L"login")->GetPos();
  ASSERT_TRUE(Xdotool("mousemove " + std::to_string(100 + (login.left + login.right) / 2) + " " +
                      std::to_string(100 + (login.top + login.bottom) / 2) + " click 1"));
  EXPECT_TRUE(RunFor([&] { return !w->events.empty(); }));
  EXPECT_EQ(w->events, (std::vector<std::string>{"click:login"}));

  CDuiRect user = w->FindControl(L"user")->GetPos();
  ASSERT_TRUE(Xdotool("mousemove " + std::to_string(100 + (user.left + user.right) / 2) + " " +
                      std::to_string(100 + (user.top + user.bottom) / 2) + " click 1"));
  auto* edit = static_cast<CEditUI*>(w->FindControl(L"user"));
  // Typing goes where the X server has the focus: wait until the click moved it.
  EXPECT_TRUE(RunFor([&] { return edit->IsFocused(); }));
  Flush();
  ASSERT_TRUE(Xdotool("type --delay 20 hello"));
  EXPECT_TRUE(RunFor([&] { return edit->GetText() == L"hello"; }));
  EXPECT_EQ(edit->GetText(), L"hello");
  Settle(100);
  SaveScreen("gtk-form.png");
}

// The tooltip is the window's own: drawn in the skin's colours below the control, and
// a click on it lands on the control underneath.
TEST_F(GtkHostTest, TooltipIsDrawnInTheSkinsColoursAndLetsClicksThrough) {
  auto w = Open("tip.xml", R"(<Window size="360,240" tooltipbkcolor="#FF333333" tooltiptextcolor="#FFFFFFFF">
      <Font id="0" size="14"/>
      <VerticalLayout bkcolor="#FFFFFFFF" inset="20,50,20,20">
        <Button name="menu" height="40" width="80" text="菜单" tooltip="菜单" bkcolor="#FFFF854D" font="0"/>
        <Button name="under" bkcolor="#FFF7F8FA"/>
      </VerticalLayout></Window>)",
                100, 100, {30, 60, 0xFF854Du});
  auto* host = dynamic_cast<GtkDrawnWindow*>(w->AnyHost());
  ASSERT_NE(host, nullptr);
  CDuiRect menu = w->FindControl(L"menu")->GetPos();
  ASSERT_TRUE(Xdotool("mousemove " + std::to_string(100 + menu.left + 10) + " " + std::to_string(100 + menu.top + 10)));
  ASSERT_TRUE(RunFor([&] { return host->ToolTipWindow() != nullptr; }));
  GtkWidget* tip = host->ToolTipWindow();
  int tx = 0, ty = 0;
  ASSERT_TRUE(RunFor([&] {
    Flush();
    gdk_window_get_origin(gtk_widget_get_window(tip), &tx, &ty);
    return ty > 100 + menu.bottom && ScreenPixel(tx + 4, ty + 8) == 0x333333u;
  })) << "tooltip at " << tx << "," << ty << " shows " << std::hex << ScreenPixel(tx + 4, ty + 8);
  Settle(100);
  SaveScreen("gtk-tooltip.png");
  // A click on the tip is the click of what lies below it.
  ASSERT_TRUE(Xdotool("mousemove " + std::to_string(tx + 6) + " " + std::to_string(ty + 6) + " click 1"));
  EXPECT_TRUE(RunFor([&] { return !w->events.empty(); }));
  EXPECT_EQ(w->events, (std::vector<std::string>{"click:under"}));
  EXPECT_TRUE(RunFor([&] { return host->ToolTipWindow() == nullptr; }));
}

TEST(GtkToolTipPlace, BelowTheControlUnlessTheScreenOrTheDropDownIsThere) {
  const HostRect screen{0, 0, 1000, 800};
  const HostRect target{100, 100, 80, 40};
  struct Case {
    const char* what;
    HostRect target;
    HostRect avoid;
    HostRect expect;
  };
  const Case cases[] = {
      {"below, centred", target, {}, {90, 146, 100, 30}},
      {"above when the drop-down opens below", target, {100, 140, 200, 300}, {90, 64, 100, 30}},
      {"above at the screen's bottom", {100, 760, 80, 40}, {}, {90, 724, 100, 30}},
      {"kept on the screen at its right edge", {960, 100, 40, 40}, {}, {900, 146, 100, 30}},
      {"beside at the screen's top with the drop-down below", {100, 10, 80, 40}, {100, 50, 300, 700}, {186, 10, 100, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostRect r = GtkToolTip::Place(c.target, 100, 30, c.avoid, screen);
    EXPECT_EQ(r, c.expect) << r.x << "," << r.y;
  }
}

TEST_F(GtkHostTest, CaptionDragMovesTheWindow) {
  auto w = Open("drag.xml", R"(<Window size="300,200" caption="0,0,0,40">
      <VerticalLayout bkcolor="#FF4DA3FF"><Control height="40" bkcolor="#FF2D6FB5"/><Control/></VerticalLayout></Window>)",
                200, 150, {150, 20, 0x2D6FB5u});
  CDuiRect before = w->GetWindowRect();
  // The X server hands the window these steps in order; each is a separate event.
  ASSERT_TRUE(Xdotool("mousemove 260 170 mousedown 1"));
  ASSERT_TRUE(Xdotool("mousemove 300 200"));
  ASSERT_TRUE(Xdotool("mousemove 360 230"));
  ASSERT_TRUE(Xdotool("mouseup 1"));
  EXPECT_TRUE(RunFor([&] { return w->GetWindowRect().left != before.left; }));
  CDuiRect after = w->GetWindowRect();
  EXPECT_EQ(after.left - before.left, 100);
  EXPECT_EQ(after.top - before.top, 60);
}

TEST_F(GtkHostTest, LayerIsDrawnAboveANativeChildWithTransparency) {
  auto owner =
      Open("owner.xml", R"(<Window size="400,300"><VerticalLayout bkcolor="#FFFFFFFF" inset="20,20,20,20">
      <NativeView name="native"/></VerticalLayout></Window>)",
           50, 400, {5, 5, 0xFFFFFFu});
  GtkWidget* blue = gtk_drawing_area_new();
  g_signal_connect(blue, "draw", G_CALLBACK(DrawBlue), nullptr);
  gtk_widget_show(blue);
  static_cast<CNativeViewUI*>(owner->FindControl(L"native"))->SetNativeWidget(blue);
  // The native child is on screen.
  EXPECT_TRUE(RunFor([] { return ScreenPixel(50 + 200, 400 + 150) == 0x0000FFu; }));
  std::ofstream(dir / "layer.xml")
      << R"(<Window size="120,80" bktrans="true"><VerticalLayout bkcolor="#80FF0000" borderround="16,16"/></Window>)";
  RecordingWnd layer(L"layer.xml", L"layerClass");
  layer.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  layer.MoveWindow({50 + 140, 400 + 110, 50 + 260, 400 + 190});
  layer.ShowWindow(true, false);
  // Half-transparent red over the blue child, once the layer is drawn.
  RunFor([] { return ScreenPixel(50 + 200, 400 + 150) != 0x0000FFu; });
  SaveScreen("gtk-layer.png");
  uint32_t mixed = ScreenPixel(50 + 200, 400 + 150);
  int r = (mixed >> 16) & 0xFF, g = (mixed >> 8) & 0xFF, b = mixed & 0xFF;
  EXPECT_NEAR(r, 128, 20) << std::hex << mixed;
  EXPECT_LT(g, 20);
  EXPECT_NEAR(b, 127, 20) << std::hex << mixed;
  // Outside the layer's rounded corner the native child shows through untouched.
  EXPECT_EQ(ScreenPixel(50 + 141, 400 + 111), 0x0000FFu);
}

TEST_F(GtkHostTest, LayerLetsClicksThroughWhereItIsTransparent) {
  auto owner = Open("owner2.xml", R"(<Window size="300,200"><HorizontalLayout bkcolor="#FFFFFFFF">
      <Button name="under" bkcolor="#FF4DA3FF"/></HorizontalLayout></Window>)",
                    700, 100, {10, 10, 0x4DA3FFu});
  std::ofstream(dir / "ring.xml") << R"(<Window size="200,100" bktrans="true"><HorizontalLayout>
      <Button name="solid" width="100" bkcolor="#FFFF854D"/><Control/></HorizontalLayout></Window>)";
  RecordingWnd layer(L"ring.xml", L"ringClass");
  layer.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  layer.MoveWindow({700 + 50, 100 + 50, 700 + 250, 100 + 150});
  layer.ShowWindow(true, false);
  // Drawn: its input shape (where it paints) is set right after its first drawing.
  EXPECT_TRUE(RunFor([] { return ScreenPixel(800, 200) == 0xFF854Du; }));
  Flush();
  ASSERT_TRUE(Xdotool("mousemove 800 200 click 1"));  // on the layer's painted half
  EXPECT_TRUE(RunFor([&] { return !layer.events.empty(); }));
  ASSERT_TRUE(Xdotool("mousemove 900 200 click 1"));  // on its transparent half
  EXPECT_TRUE(RunFor([&] { return !owner->events.empty(); }));
  EXPECT_EQ(layer.events, (std::vector<std::string>{"click:solid"}));
  EXPECT_EQ(owner->events, (std::vector<std::string>{"click:under"}));
}

TEST_F(GtkHostTest, LayerTakesClicksWhereItPaintsAfterItsContentChanged) {
  auto owner = Open("owner3.xml", R"(<Window size="300,200"><HorizontalLayout bkcolor="#FFFFFFFF">
      <Button name="under" bkcolor="#FF4DA3FF"/></HorizontalLayout></Window>)",
                    700, 400, {10, 10, 0x4DA3FFu});
  std::ofstream(dir / "late.xml") << R"(<Window size="200,100" bktrans="true"><HorizontalLayout>
      <Button name="solid" width="100" bkcolor="#FFFF854D"/><Button name="late"/></HorizontalLayout></Window>)";
  RecordingWnd layer(L"late.xml", L"lateClass");
  layer.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  layer.MoveWindow({700 + 50, 400 + 50, 700 + 250, 400 + 150});
  layer.ShowWindow(true, false);
  EXPECT_TRUE(RunFor([] { return ScreenPixel(800, 500) == 0xFF854Du; }));
  Flush();
  ASSERT_TRUE(Xdotool("mousemove 900 500 click 1"));  // "late" paints nothing yet
  EXPECT_TRUE(RunFor([&] { return !owner->events.empty(); }));
  // Only the layer's content changes (no move, no resize): its input shape must follow.
  layer.FindControl(L"late")->SetAttribute(L"bkcolor", L"#FF2D6FB5");
  EXPECT_TRUE(RunFor([] { return ScreenPixel(900, 500) == 0x2D6FB5u; }));
  Flush();
  ASSERT_TRUE(Xdotool("mousemove 900 500 click 1"));
  EXPECT_TRUE(RunFor([&] { return !layer.events.empty(); }));
  EXPECT_EQ(owner->events, (std::vector<std::string>{"click:under"}));
  EXPECT_EQ(layer.events, (std::vector<std::string>{"click:late"}));
  SaveScreen("gtk-layer-late.png");
}

TEST_F(GtkHostTest, HotKeysReachTheWindowWhileANativeChildHasTheFocus) {
  auto w =
      Open("hot.xml",
           R"(<Window size="300,200"><VerticalLayout bkcolor="#FF4DA3FF"><NativeView name="native"/></VerticalLayout></Window>)",
           300, 500, {5, 5, 0x4DA3FFu});
  GtkWidget* entry = gtk_entry_new();
  gtk_widget_show(entry);
  static_cast<CNativeViewUI*>(w->FindControl(L"native"))->SetNativeWidget(entry);
  // The entry is placed and drawn over the window's blue once it has been laid out.
  EXPECT_TRUE(RunFor([&] { return gtk_widget_get_mapped(entry) && ScreenPixel(450, 600) != 0x4DA3FFu; }));
  Flush();
  gtk_widget_grab_focus(entry);
  w->RegisterHotKey(1027, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'I');
  std::vector<WPARAM> hot;
  w->onMessage = [&](UINT msg, WPARAM wParam, LPARAM, const Payload&, bool& handled) {
    handled = msg == WM_HOTKEY;
    if (handled) hot.push_back(wParam);
    return LRESULT(0);
  };
  bool released = false;  // the release comes after the press has been dealt with
  g_signal_connect(entry, "button-release-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer flag) -> gboolean {
                     *static_cast<bool*>(flag) = true;
                     return FALSE;
                   }),
                   &released);
  ASSERT_TRUE(Xdotool("mousemove 450 600 click 1"));  // focus the native window
  // Typing goes where the X server has the focus: wait until the click has moved it there.
  EXPECT_TRUE(RunFor([&] { return released; }));
  Flush();
  ASSERT_TRUE(Xdotool("type --delay 10 ab"));
  ASSERT_TRUE(Xdotool("key ctrl+alt+shift+i"));
  EXPECT_TRUE(RunFor([&] { return !hot.empty(); }));
  EXPECT_EQ(hot, (std::vector<WPARAM>{1027}));
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "ab");  // the entry kept its own typing
}

namespace {

// The first object below `obj` (depth first) with this accessible id; not referenced.
AtkObject* FindById(AtkObject* obj, const std::string& id) {
  const char* own = atk_object_get_accessible_id(obj);
  if (own && id == own) return obj;
  for (gint i = 0; i < atk_object_get_n_accessible_children(obj); ++i) {
    AtkObject* child = atk_object_ref_accessible_child(obj, i);
    if (!child) continue;
    AtkObject* found = FindById(child, id);
    g_object_unref(child);
    if (found) return found;
  }
  return nullptr;
}

bool HasState(AtkObject* obj, AtkStateType state) {
  AtkStateSet* set = atk_object_ref_state_set(obj);
  bool has = atk_state_set_contains_state(set, state);
  g_object_unref(set);
  return has;
}

}  // namespace

TEST_F(GtkHostTest, ControlsAreAtkObjectsBelowTheWindow) {
  auto w = Open("acc.xml", R"(<Window size="300,200"><Font id="0" size="14"/>
      <VerticalLayout bkcolor="#FFFFFFFF" inset="10,10,10,10">
        <HorizontalLayout height="30"><Edit name="user" prompttext="Account" width="200"/></HorizontalLayout>
        <Edit name="pass" password="true" text="secret" tooltip="Password" height="30"/>
        <CheckBox name="save" text="Remember" height="30"/>
        <Button name="login" text="Sign in" height="30"/>
        <Progress name="progress" min="0" max="10" value="4" height="10"/>
        <Label name="late" text="Code sent" visible="false" height="20"/>
      </VerticalLayout></Window>)",
                200, 150, {5, 5, 0xFFFFFFu});
  AtkObject* top = gtk_widget_get_accessible(static_cast<GtkWidget*>(w->GetHostWindow()->NativeHandle()));
  ASSERT_NE(top, nullptr);
  AtkObject* user = FindById(top, "user");
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(atk_object_get_role(user), ATK_ROLE_ENTRY);
  EXPECT_STREQ(atk_object_get_name(user), "Account");
  EXPECT_TRUE(HasState(user, ATK_STATE_EDITABLE));
  EXPECT_TRUE(HasState(user, ATK_STATE_SHOWING));
  // The layout around the edit is flattened: the edit sits right below the drawing area.
  EXPECT_EQ(atk_object_get_role(atk_object_get_parent(user)), ATK_ROLE_PANEL);
  EXPECT_EQ(atk_object_get_index_in_parent(user), 0);

  // Screen extents: the window's position plus the control's place in it.
  gint x = 0, y = 0, cw = 0, ch = 0;
  atk_component_get_extents(ATK_COMPONENT(user), &x, &y, &cw, &ch, ATK_XY_SCREEN);
  EXPECT_EQ(x, 210);
  EXPECT_EQ(y, 160);
  EXPECT_EQ(cw, 200);
  EXPECT_EQ(ch, 30);

  AtkObject* pass = FindById(top, "pass");
  ASSERT_NE(pass, nullptr);
  EXPECT_EQ(atk_object_get_role(pass), ATK_ROLE_PASSWORD_TEXT);
  EXPECT_STREQ(atk_object_get_name(pass), "Password");
  gchar* shown = atk_text_get_text(ATK_TEXT(pass), 0, -1);
  EXPECT_STREQ(shown, "");
  g_free(shown);

  atk_editable_text_set_text_contents(ATK_EDITABLE_TEXT(user), "anna");
  EXPECT_EQ(w->FindControl(L"user")->GetText(), L"anna");
  gint pos = 4;
  atk_editable_text_insert_text(ATK_EDITABLE_TEXT(user), "-b", -1, &pos);
  gchar* text = atk_text_get_text(ATK_TEXT(user), 0, -1);
  EXPECT_STREQ(text, "anna-b");
  g_free(text);
  EXPECT_EQ(pos, 6);

  AtkObject* save = FindById(top, "save");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(atk_object_get_role(save), ATK_ROLE_CHECK_BOX);
  EXPECT_STREQ(atk_action_get_name(ATK_ACTION(save), 0), "toggle");
  std::vector<std::string> changes;
  auto onState = +[](AtkObject*, const gchar* name, gboolean set, gpointer data) {
    static_cast<std::vector<std::string>*>(data)->push_back(std::string(name) + (set ? "+" : "-"));
  };
  gulong handler = g_signal_connect(save, "state-change", G_CALLBACK(onState), &changes);
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(save), 0));
  EXPECT_TRUE(RunFor([&] { return HasState(save, ATK_STATE_CHECKED); }));
  EXPECT_NE(std::find(changes.begin(), changes.end(), "checked+"), changes.end());
  w->FindControl(L"save")->SetFocus();
  EXPECT_NE(std::find(changes.begin(), changes.end(), "focused+"), changes.end());
  g_signal_handler_disconnect(save, handler);

  // A control shown inside a flattened layout is announced as a new child of the window.
  AtkObject* area = atk_object_get_parent(user);
  std::vector<std::string> added;
  auto onChildren = +[](AtkObject*, guint, gpointer child, gpointer data) {
    const char* id = child ? atk_object_get_accessible_id(ATK_OBJECT(child)) : nullptr;
    static_cast<std::vector<std::string>*>(data)->push_back(id ? id : "");
  };
  gulong childHandler = g_signal_connect(area, "children-changed::add", G_CALLBACK(onChildren), &added);
  w->FindControl(L"late")->SetVisible(true);
  EXPECT_EQ(added, (std::vector<std::string>{"late"}));
  g_signal_handler_disconnect(area, childHandler);

  AtkObject* login = FindById(top, "login");
  ASSERT_NE(login, nullptr);
  EXPECT_EQ(atk_object_get_role(login), ATK_ROLE_PUSH_BUTTON);
  w->events.clear();
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(login), 0));
  EXPECT_TRUE(RunFor([&] { return !w->events.empty(); }));
  EXPECT_EQ(w->events, (std::vector<std::string>{"click:login"}));

  AtkObject* progress = FindById(top, "progress");
  ASSERT_NE(progress, nullptr);
  gdouble value = 0;
  atk_value_get_value_and_text(ATK_VALUE(progress), &value, nullptr);
  EXPECT_EQ(value, 4);

  // A control that goes leaves a defunct object behind, not a dangling one.
  g_object_ref(login);
  auto* box = static_cast<CContainerUI*>(w->FindControl(L"login")->GetParent());
  box->Remove(w->FindControl(L"login"));
  EXPECT_TRUE(RunFor([&] { return HasState(login, ATK_STATE_DEFUNCT); }));
  EXPECT_EQ(atk_object_get_n_accessible_children(login), 0);
  g_object_unref(login);
}
