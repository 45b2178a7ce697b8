// The process's entry: the role decision, the browser process's start-up and shutdown.
#pragma once

// Returns the process exit code.
int TavoMain(int argc, char** argv);
