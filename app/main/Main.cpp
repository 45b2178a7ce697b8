// Entry point: the locale's character set for every text conversion, the open-file limit
// raised to the hard limit, then the role decision.
#include <clocale>

#include "app/main/FileLimit.h"
#include "app/main/Startup.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  RaiseOpenFileLimit();
  return TavoMain(argc, argv);
}
