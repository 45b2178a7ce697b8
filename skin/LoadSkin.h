// Hands the skin zip linked into the program to the toolkit.
#pragma once

#include <cstddef>

// False (nothing handed over) when the program carries no usable skin.
bool LoadSkin();
// Hands these zip bytes to the toolkit; false, with a log line, when there are none or they
// are no zip archive.
bool LoadSkinFrom(const unsigned char* data, size_t size);
// The zip's bytes inside the executable.
const unsigned char* SkinZipData();
size_t SkinZipSize();
