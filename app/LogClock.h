// Test hook of the day log: fixes the time that names the day files and stamps the lines.
#pragma once

#include <chrono>
#include <optional>

// nullopt goes back to the real clock.
void SetLogTimeForTest(std::optional<std::chrono::system_clock::time_point> now);
