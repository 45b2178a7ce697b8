#include "account/MainWindowLink.h"

namespace {
MainWindowLink& Link() {
  static MainWindowLink link;
  return link;
}
OfflineStartLink& OfflineLink() {
  static OfflineStartLink link;
  return link;
}
}  // namespace

void SetMainWindowLink(MainWindowLink link) { Link() = std::move(link); }
const MainWindowLink& GetMainWindowLink() { return Link(); }

void SetOfflineStartLink(OfflineStartLink link) { OfflineLink() = std::move(link); }
const OfflineStartLink& GetOfflineStartLink() { return OfflineLink(); }
