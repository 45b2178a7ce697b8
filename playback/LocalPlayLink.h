// Connects the main window's lists to local playback (called once at start-up).
#pragma once

void InstallLocalPlayLink();
