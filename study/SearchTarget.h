// A search hit as one printable id, for the desktop's search and the one-instance channel
// ("page/<class>/<document>/<page>"), and back. Id parts are percent-encoded, so any id
// the school gives travels safely.
#pragma once

#include <optional>
#include <string>

#include "study/SearchIndex.h"

struct SearchTarget {
  SearchKind kind = SearchKind::Class;
  std::string classId;
  std::string itemId;
  int page = 0;        // a PDF page, or a note's position
  std::string noteOf;  // a note's kind
};

std::string TargetId(const SearchHit& hit);
// Nothing for a text that is not an id TargetId makes (untrusted: it comes over the bus).
std::optional<SearchTarget> ParseTargetId(const std::string& id);
