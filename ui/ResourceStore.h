// The skin's files: read from the zip held in memory (unpacked once) or from a folder on
// disk searched first (the preview tool), and the decoded pictures, cached by name.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <string>

// A decoded picture as a premultiplied ARGB surface.
class CImageUI {
 public:
  explicit CImageUI(cairo_surface_t* surface) : m_surface(surface) {}
  ~CImageUI() { cairo_surface_destroy(m_surface); }
  CImageUI(const CImageUI&) = delete;
  CImageUI& operator=(const CImageUI&) = delete;
  cairo_surface_t* Surface() const { return m_surface; }
  int Width() const { return cairo_image_surface_get_width(m_surface); }
  int Height() const { return cairo_image_surface_get_height(m_surface); }

 private:
  cairo_surface_t* m_surface;
};

class CResourceStore {
 public:
  static CResourceStore& Get();

  // Takes the zip archive's bytes; false (and a log line) when it is no zip.
  bool SetZip(const void* data, size_t size);
  // A folder whose files win over the zip's (ends with "/" or not).
  void SetFolder(const std::string& folder);
  bool HasZip() const { return !m_files.empty(); }

  // Reads a file by its name in the skin ("login.xml", "icons/x.png").
  bool ReadFile(const std::string& name, std::string& data) const;
  // The decoded picture, or null (logged once) when it is missing or broken.
  std::shared_ptr<CImageUI> GetImage(const std::string& name);
  // Decodes picture bytes of any format gdk-pixbuf reads.
  static std::shared_ptr<CImageUI> DecodeImage(const std::string& bytes);
  void ClearImages() { m_images.clear(); }

 private:
  std::map<std::string, std::string> m_files;
  std::string m_folder;
  std::map<std::string, std::shared_ptr<CImageUI>> m_images;
};
