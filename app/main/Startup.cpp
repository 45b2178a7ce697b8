// Placeholder start-up until the role decision lands.
#include "app/main/Startup.h"

int TavoMain(int, char**) { return 0; }
