// Skin archive and picture cache.
#include "ui/ResourceStore.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <zip.h>

#include <fstream>
#include <sstream>

#include "app/Log.h"
#include "ui/UIText.h"

CResourceStore& CResourceStore::Get() {
  static CResourceStore store;
  return store;
}

bool CResourceStore::SetZip(const void* data, size_t size) {
  m_files.clear();
  m_images.clear();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  if (!source) {
    LogError(L"skin zip: cannot read the archive");
    zip_error_fini(&error);
    return false;
  }
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (!archive) {
    zip_source_free(source);
    LogError(L"skin zip: not a zip archive");
    zip_error_fini(&error);
    return false;
  }
  zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) continue;
    std::string name = st.name;
    if (name.empty() || name.back() == '/') continue;
    zip_file_t* file = zip_fopen_index(archive, i, 0);
    if (!file) continue;
    std::string bytes(static_cast<size_t>(st.size), '\0');
    zip_int64_t got = zip_fread(file, bytes.data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size)) continue;
    // Entries may be stored under the folder name "skin/"; windows name them without it.
    if (name.rfind("skin/", 0) == 0) name = name.substr(5);
    m_files[name] = std::move(bytes);
  }
  zip_close(archive);
  zip_error_fini(&error);
  return !m_files.empty();
}

void CResourceStore::SetFolder(const std::string& folder) {
  m_folder = folder;
  if (!m_folder.empty() && m_folder.back() != '/') m_folder += '/';
  m_images.clear();
}

bool CResourceStore::ReadFile(const std::string& name, std::string& data) const {
  if (name.empty() || name.find("..") != std::string::npos) return false;
  if (!m_folder.empty()) {
    std::ifstream in(m_folder + name, std::ios::binary);
    if (in) {
      std::ostringstream ss;
      ss << in.rdbuf();
      data = ss.str();
      return true;
    }
  }
  auto it = m_files.find(name);
  if (it == m_files.end()) return false;
  data = it->second;
  return true;
}

std::shared_ptr<CImageUI> CResourceStore::DecodeImage(const std::string& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GError* error = nullptr;
  bool ok =
      gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), &error);
  ok = gdk_pixbuf_loader_close(loader, ok ? &error : nullptr) && ok;
  if (error) g_error_free(error);
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  std::shared_ptr<CImageUI> image;
  if (pixbuf) {
    int w = gdk_pixbuf_get_width(pixbuf);
    int h = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    unsigned char* dst = cairo_image_surface_get_data(surface);
    int dstride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(dst + y * dstride);
      const guchar* p = src + y * stride;
      for (int x = 0; x < w; ++x, p += channels) {
        uint32_t a = channels == 4 ? p[3] : 255;
        uint32_t r = p[0] * a / 255, g = p[1] * a / 255, b = p[2] * a / 255;
        row[x] = (a << 24) | (r << 16) | (g << 8) | b;
      }
    }
    cairo_surface_mark_dirty(surface);
    image = std::make_shared<CImageUI>(surface);
  }
  g_object_unref(loader);
  return image;
}

std::shared_ptr<CImageUI> CResourceStore::GetImage(const std::string& name) {
  auto it = m_images.find(name);
  if (it != m_images.end()) return it->second;
  std::string bytes;
  std::shared_ptr<CImageUI> image;
  if (ReadFile(name, bytes)) image = DecodeImage(bytes);
  if (!image) LogError(L"skin picture missing or unreadable: " + FromUtf8(name));
  m_images[name] = image;  // a miss is remembered too, so it is logged once
  return image;
}
