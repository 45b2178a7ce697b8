// Hands the skin zip linked into the program to the toolkit.
#pragma once

#include <cstddef>

// False (nothing handed over) when the program carries no usable skin.
bool LoadSkin();
// The zip's bytes inside the executable.
const unsigned char* SkinZipData();
size_t SkinZipSize();
