// Authoring: construction, copying, destruction and the three setters.
#include <cstdlib>
#include <cstring>

#include "authoring/video_standard_choice.h"
#include "platform/heap_string.h"
#include "vcdalbum/Authoring.h"

namespace {

constexpr char kDefaultBurnerName[] = "VRX_Burner";

// Copies at most `Authoring::kBurnerNameMax` characters; a longer name is cut.
void CopyName(char (&target)[Authoring::kBurnerNameMax + 1], const char* name) {
    std::strncpy(target, name, Authoring::kBurnerNameMax);
    target[Authoring::kBurnerNameMax] = '\0';
}

}  // namespace

Authoring::Authoring() { CopyName(burnerName, kDefaultBurnerName); }

Authoring::Authoring(char* name) { CopyName(burnerName, name ? name : kDefaultBurnerName); }

Authoring::Authoring(const Authoring& other) { *this = other; }

Authoring& Authoring::operator=(const Authoring& other) {
    if (this == &other) return *this;
    menuCount = other.menuCount;
    albumCount = other.albumCount;
    std::memcpy(albumNoPerMenu, other.albumNoPerMenu, sizeof albumNoPerMenu);
    menuFiles = other.menuFiles;
    albumFiles = other.albumFiles;
    std::memcpy(burnerName, other.burnerName, sizeof burnerName);
    for (int i = 0; i < kFrameSlots; ++i) {
        std::free(frameFiles[i]);
        frameFiles[i] = vcdalbum::platform::HeapCopy(other.frameFiles[i]);
    }
    vcdMode = other.vcdMode;
    progressCallBack = other.progressCallBack;
    vcdalbum::authoring::CopyStandard(other, *this);
    return *this;
}

Authoring::~Authoring() {
    vcdalbum::authoring::ForgetStandard(*this);
    for (char*& name : frameFiles) {
        std::free(name);
        name = nullptr;
    }
}

void Authoring::SetVCDMode(int mode) { vcdMode = mode; }

int Authoring::SetAlbumNoPerMenu(int menu, int count) {
    if (menu < 0 || menu >= kMenuTableSize) return 1;
    albumNoPerMenu[menu] = count;
    return 0;
}

void Authoring::SetProgressCallBack(void* callback) {
    progressCallBack = reinterpret_cast<ProgressCallBack>(callback);
}
