// Entry point: the locale's character set for every text conversion, then the role decision.
#include <clocale>

#include "app/main/Startup.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  return TavoMain(argc, argv);
}
