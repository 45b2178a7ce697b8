// Decoding of window icons through gdk-pixbuf.
#include "platform/host/GtkImage.h"

GdkPixbuf* PixbufFromBytes(const std::vector<unsigned char>& data) {
  if (data.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool ok = gdk_pixbuf_loader_write(loader, data.data(), data.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}
