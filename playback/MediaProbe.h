// What a downloaded video holds, read from its container.
#pragma once

#include <string>

// True exactly when the file opens as media and its first stream is H.264 video: such a
// file plays inside the program. A file that cannot be opened or read leaves one error
// line in the log. Reads the file: call it off the main thread.
bool IsH264File(const std::string& path);
