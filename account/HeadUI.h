// The round avatar: a button that paints its picture inside the inscribed ellipse and a
// thin anti-aliased ring around it. Skins create it with the tag "HeadIcon".
#pragma once

#include <memory>
#include <string>

#include "ui/Button.h"

class CImageUI;

class CHeadUI : public CButtonUI {
 public:
  std::wstring GetClass() const override { return L"HeadIconUI"; }
  void* GetInterface(std::wstring_view name) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintBkImage(cairo_t* cr) override;

  // The picture: the path itself when something exists there, else the program's folder
  // followed by the path when that exists, else the path unchanged. Repaints.
  void SetHeadImage(const std::wstring& path);

  const std::wstring& GetDefaultImage() const { return m_defaultImage; }
  bool GetAutoPenColor() const { return m_autoPenColor; }
  DWORD GetPenColor() const { return m_penColor; }
  int GetPenWidth() const { return m_penWidth; }

 private:
  std::wstring m_defaultImage = L"Head\\100_1.png";
  bool m_autoPenColor = false;
  DWORD m_penColor = 0xFFE6E6E6;
  int m_penWidth = 1;
  std::shared_ptr<CImageUI> m_picture;  // decoded once per picture path
  bool m_pictureLoaded = false;
};
