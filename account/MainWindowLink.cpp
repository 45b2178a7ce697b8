#include "account/MainWindowLink.h"

namespace {
MainWindowLink& Link() {
  static MainWindowLink link;
  return link;
}
}  // namespace

void SetMainWindowLink(MainWindowLink link) { Link() = std::move(link); }
const MainWindowLink& GetMainWindowLink() { return Link(); }
