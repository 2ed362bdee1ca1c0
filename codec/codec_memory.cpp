#include "codec/codec_memory.h"

#include <cstdlib>

#include "codec/bitmap.h"

namespace vcdalbum::codec {
namespace {

HuffTable* g_dcTables[kTableSlots] = {};
HuffTable* g_acTables[kTableSlots] = {};

bool EnsureSlot(HuffTable*& slot) {
    if (!slot) slot = static_cast<HuffTable*>(std::calloc(1, sizeof(HuffTable)));
    return slot != nullptr;
}

}  // namespace

bool EnsureCodecTables() {
    bool ok = true;
    for (int i = 0; i < kTableSlots; ++i) {
        ok = EnsureSlot(g_dcTables[i]) && ok;
        ok = EnsureSlot(g_acTables[i]) && ok;
    }
    return ok;
}

void ReleaseCodecTables() {
    for (int i = 0; i < kTableSlots; ++i) {
        std::free(g_dcTables[i]);
        std::free(g_acTables[i]);
        g_dcTables[i] = nullptr;
        g_acTables[i] = nullptr;
    }
    BitmapHeaderBuffer().release();
    BitmapPixelBuffer().release();
}

HuffTable* DcTableBlock(int slot) { return slot >= 0 && slot < kTableSlots ? g_dcTables[slot] : nullptr; }
HuffTable* AcTableBlock(int slot) { return slot >= 0 && slot < kTableSlots ? g_acTables[slot] : nullptr; }

}  // namespace vcdalbum::codec
