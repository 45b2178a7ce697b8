// The browser process's start-up and shutdown sequence.
#pragma once

int TavoMain(int argc, char** argv);
