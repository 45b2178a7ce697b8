// The skin zip between the linker symbols of SkinZip.S.
#include "skin/LoadSkin.h"

#include "app/Log.h"
#include "ui/PaintManager.h"

extern "C" const unsigned char tavo_skin_zip_start[];
extern "C" const unsigned char tavo_skin_zip_end[];

const unsigned char* SkinZipData() { return tavo_skin_zip_start; }
size_t SkinZipSize() { return static_cast<size_t>(tavo_skin_zip_end - tavo_skin_zip_start); }

bool LoadSkin() { return LoadSkinFrom(SkinZipData(), SkinZipSize()); }

bool LoadSkinFrom(const unsigned char* data, size_t size) {
  if (data == nullptr || size == 0) {
    LogError(L"the program carries no skin");
    return false;
  }
  CPaintManagerUI::SetResourceType(4);
  if (!CPaintManagerUI::SetResourceZip(data, size)) {
    LogError(L"the program's skin is damaged");
    return false;
  }
  return true;
}
