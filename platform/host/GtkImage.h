// Pictures for GTK windows and tray icons, from encoded image bytes.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <vector>

// A new pixbuf reference decoded from PNG, GIF, SVG, ... bytes; null when they are empty
// or cannot be read.
GdkPixbuf* PixbufFromBytes(const std::vector<unsigned char>& data);
