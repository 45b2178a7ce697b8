// The size texts of the download windows: a size in bytes in its largest whole unit (TB,
// GB, MB, KB; anything under 1 KB counts as 1 KB), integer arithmetic throughout.
#pragma once

#include <cstdint>
#include <string>

// "3GB" for 3 221 225 472 bytes, "1KB" for 500 bytes.
std::wstring SizeText(std::int64_t bytes);
// "done/total" in the total's unit: 50 % of 1 572 864 bytes reads "0MB/1MB".
std::wstring ProgressSizeText(std::int64_t totalBytes, int percent);
