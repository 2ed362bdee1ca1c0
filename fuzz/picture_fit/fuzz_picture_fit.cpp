// Fuzzes picture fitting and menu drawing. The first four bytes give an odd
// picture size; the rest is a picture file read through FFmpeg (libheif for
// HEIF files) the way a disc's pictures are read (reduced on decoding when
// far larger than the frame), fitted, and drawn as a menu thumbnail under a
// title taken from the same bytes (so the titles are damaged UTF-8 as often
// as not). When the file is no picture, the odd size is fitted instead, so
// every input fits exactly one picture: fitting always fills a whole frame, which makes it the bulk of
// an input's cost whatever the picture's size.
//
// Fontconfig and cairo cache fonts and glyphs across calls, so an input's
// allocations seldom balance its frees; run with -detect_leaks=0 (as
// scripts/run-fuzz does) and the leak check at exit still covers the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "console/errors.h"
#include "picture/menu_page.h"
#include "picture/pictures.h"
#include "doubles/scratch_dir.h"

using namespace vcdalbum::host;
using vcdalbum::OwnedImage;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    DrawMenuPage(MenuPage{});  // loads fontconfig's configuration once, before the first input
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const vcdalbum::testing::ScratchDir dir;  // per input: libFuzzer ends without running destructors
    const auto file = dir / "picture";
    vcdalbum::testing::WriteFile(file, std::string(reinterpret_cast<const char*>(data) + 4, size - 4));
    OwnedImage picture;
    try {
        picture = ReadPicture(file);
    } catch (const InputError&) {
        // A damaged or unknown picture is refused with a message.
        const uint32_t width = 1 + ((data[0] << 8 | data[1]) % 512), height = 1 + ((data[2] << 8 | data[3]) % 512);
        picture = OwnedImage::Black(width, height);
        for (uint32_t y = 0; y < height; ++y) std::memset(picture.row(y), data[(y + 4) % size], 3 * size_t{width});
    }
    const OwnedImage fitted = FitToFrame(picture.get());

    MenuPage page;
    page.discTitle.assign(reinterpret_cast<const char*>(data) + 4, std::min<size_t>(size - 4, 80));
    page.albums.push_back({1, page.discTitle, &fitted.get()});
    DrawMenuPage(page);
    return 0;
}
