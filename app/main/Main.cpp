// Entry point: decides the process role and runs the browser process.
#include "app/main/Startup.h"

int main(int argc, char** argv) { return TavoMain(argc, argv); }
