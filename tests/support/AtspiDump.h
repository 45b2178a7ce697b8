// What the AT-SPI probe (tavo-atspi-probe) prints for "dump", read back: one object a line,
// depth<TAB>role<TAB>id<TAB>name<TAB>text<TAB>states.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

struct AtspiRow {
  int depth = 0;
  std::string role, id, name, text, states;
  bool Has(const std::string& state) const {
    return ("," + states + ",").find("," + state + ",") != std::string::npos;
  }
};

inline std::vector<AtspiRow> ParseAtspiDump(const std::string& dump) {
  std::vector<AtspiRow> rows;
  std::istringstream lines(dump);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    while (f.size() < 6) f.emplace_back();
    rows.push_back({std::atoi(f[0].c_str()), f[1], f[2], f[3], f[4], f[5]});
  }
  return rows;
}

// The first row with this accessible id, or null.
inline const AtspiRow* AtspiById(const std::vector<AtspiRow>& rows, const std::string& id) {
  for (const AtspiRow& r : rows)
    if (r.id == id) return &r;
  return nullptr;
}

// The rows directly below `rows[parent]`, in order.
inline std::vector<const AtspiRow*> AtspiChildren(const std::vector<AtspiRow>& rows, size_t parent) {
  std::vector<const AtspiRow*> out;
  for (size_t i = parent + 1; i < rows.size() && rows[i].depth > rows[parent].depth; ++i)
    if (rows[i].depth == rows[parent].depth + 1) out.push_back(&rows[i]);
  return out;
}
