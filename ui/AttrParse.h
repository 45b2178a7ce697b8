// Typed parsers of skin attribute texts: colours, rectangles, sizes, booleans, alignments,
// images with file='…' dest='…', and attribute lists. Each returns false on malformed input.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/UIDefs.h"

bool ParseColor(std::wstring_view text, DWORD& color);  // #AARRGGBB, #RRGGBB, 0xAARRGGBB
bool ParseInt(std::wstring_view text, int& value);
bool ParseBool(std::wstring_view text, bool& value);     // true/false
bool ParseRect(std::wstring_view text, CDuiRect& rect);  // l,t,r,b
bool ParseSize(std::wstring_view text, CDuiSize& size);  // cx,cy

// An image attribute: a plain file name, or key='value' pairs.
struct TImageAttr {
  std::wstring file;
  CDuiRect dest;    // relative to the control; empty means the whole control
  CDuiRect source;  // part of the picture; empty means all of it
  CDuiRect corner;  // nine-slice margins of the picture
  int fade = 255;
  bool hole = false;  // nine-slice without the middle
  bool xtiled = false;
  bool ytiled = false;
  bool hasDest = false;
  bool hasSource = false;
};
bool ParseImage(std::wstring_view text, TImageAttr& image);

// name="value" pairs separated by white space; values quoted with " or ', with the
// entities &quot; &apos; &amp; &lt; &gt; decoded.
bool ParseAttributeList(std::wstring_view text, std::vector<std::pair<std::wstring, std::wstring>>& out);
