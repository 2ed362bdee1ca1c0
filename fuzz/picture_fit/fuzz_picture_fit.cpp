// Fuzzes picture fitting and menu drawing. The first four bytes give an odd
// picture size to fit from memory; the rest is a picture file read through
// FFmpeg, fitted, and drawn as a menu thumbnail under a title taken from
// the same bytes (so the titles are damaged UTF-8 as often as not).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/errors.h"
#include "host/menu_page.h"
#include "host/pictures.h"
#include "doubles/scratch_dir.h"

using namespace vcdalbum::host;
using vcdalbum::OwnedImage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t width = 1 + ((data[0] << 8 | data[1]) % 512), height = 1 + ((data[2] << 8 | data[3]) % 512);
    OwnedImage odd = OwnedImage::Black(width, height);
    for (uint32_t y = 0; y < height; ++y) std::memset(odd.row(y), data[(y + 4) % size], 3 * size_t{width});
    const OwnedImage oddFrame = FitToFrame(odd.get());

    const vcdalbum::testing::ScratchDir dir;  // per input: libFuzzer ends without running destructors
    const auto file = dir / "picture";
    vcdalbum::testing::WriteFile(file, std::string(reinterpret_cast<const char*>(data) + 4, size - 4));
    MenuPage page;
    page.discTitle.assign(reinterpret_cast<const char*>(data) + 4, std::min<size_t>(size - 4, 80));
    page.albums.push_back({1, page.discTitle, &oddFrame.get()});
    OwnedImage fitted;
    try {
        const OwnedImage picture = ReadPicture(file);
        if (uint64_t{picture.width()} * picture.height() <= (uint64_t{1} << 22)) {
            fitted = FitToFrame(picture.get());
            page.albums.push_back({2, "fitted", &fitted.get()});
        }
    } catch (const InputError&) {
        // A damaged or unknown picture is refused with a message.
    }
    DrawMenuPage(page);
    return 0;
}
