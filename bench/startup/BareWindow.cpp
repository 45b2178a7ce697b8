// The floor of the start-up bench: a bare GTK window holding one WebKit web view with a
// small page, nothing else. Writes "tavo-first-draw <monotonic µs>" to standard error on
// its first drawing (as the program does with TAVO_TRACE_FIRST_DRAW) and "bare-loaded"
// once its page has loaded; runs until it is ended.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 420, 340);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect_after(window, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer) -> gboolean {
                           static bool traced = false;
                           if (!traced) {
                             traced = true;
                             std::fprintf(stderr, "tavo-first-draw %lld\n",
                                          static_cast<long long>(g_get_monotonic_time()));
                             std::fflush(stderr);
                           }
                           return FALSE;
                         }),
                         nullptr);
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                     if (event != WEBKIT_LOAD_FINISHED) return;
                     std::fprintf(stderr, "bare-loaded\n");
                     std::fflush(stderr);
                   }),
                   nullptr);
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), "<!doctype html><meta charset=utf-8><p>登录</p>", nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
