// CTabLayoutUI helpers.
#include "ui/TabLayout.h"

#include "ui/AttrParse.h"

bool CTabLayoutUI::ParseIntValue(std::wstring_view v, int& n) { return ParseInt(v, n); }
