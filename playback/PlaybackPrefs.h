// What the player keeps between lessons and runs, and what it tells its page besides the
// play authorisation: the student's speed (per account, in the settings store) and how long
// the page tries to reconnect a dropped stream.
#pragma once

#include <string>

// The signed-in account's speed; 1 when none was kept or the kept text is no offered speed.
double LoadPlaybackRate();
// Keeps an offered speed for the signed-in account; anything else is refused (false).
bool StorePlaybackRate(double rate);
// The settings value that holds an account's speed.
std::wstring PlaybackRateValueName(const std::string& account);

// TAVO_PLAYER_RECONNECT_MS when it is a whole number of 1000..600000, else 30000.
int PlayerReconnectMs();
