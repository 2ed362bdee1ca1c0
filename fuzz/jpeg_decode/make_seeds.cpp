// Writes the seed corpus of the decoder fuzz target into the folder given:
// small valid streams of each kind the decoder takes (grey, 4:2:0, 4:2:2,
// 4:4:4, restarts, several scans, AC coefficients) and damaged variants.
#include <cstdio>
#include <string>
#include <vector>

#include "test_streams.h"

using namespace vcdalbum::codec;
using namespace vcdalbum::codec::testing;

namespace {

int Levels(int component, int mcu) { return ((component * 37 + mcu * 53) % 300 - 150) * 4; }

void Write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A grey 16x16 picture whose blocks carry AC coefficients.
std::vector<uint8_t> WithAcTerms() {
    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 3).Frame(16, 16, {{1, 1, 1, 0}}).StandardHuffmanTables().RestartInterval(2);
    s.Scan({{1, 0, 0}});
    EntropyWriter w;
    for (int block = 0; block < 4; ++block) {
        if (block == 2) w.Restart(0);
        w.Symbol(kDcLuminance, 3);
        w.Bits(5, 3);
        w.Symbol(kAcLuminance, 0x02);
        w.Bits(block, 2);
        w.Symbol(kAcLuminance, 0x31);
        w.Bits(1, 1);
        w.Symbol(kAcLuminance, 0xF0);
        w.Symbol(kAcLuminance, 0x13);
        w.Bits(2, 3);
        w.Symbol(kAcLuminance, 0x00);
    }
    w.Flush();
    s.Raw(w.bytes).Eoi();
    return s.bytes;
}

// 4:4:4 as three scans, one per component.
std::vector<uint8_t> SeparateScans() {
    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 2).QuantTable(1, 2);
    s.Frame(24, 16, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}).StandardHuffmanTables();
    for (int c = 0; c < 3; ++c) {
        const uint8_t t = c ? 1 : 0;
        s.Scan({{static_cast<uint8_t>(c + 1), t, t}});
        EntropyWriter w;
        int pred = 0;
        for (int m = 0; m < 6; ++m) {
            const int v = Levels(c, m);
            w.DcOnlyBlock(v - pred, c ? kDcChrominance : kDcLuminance, c ? kAcChrominance : kAcLuminance);
            pred = v;
        }
        w.Flush();
        s.Raw(w.bytes);
    }
    s.Eoi();
    return s.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<uint8_t> colour = DcOnlyPicture(40, 24, true, 2, 2, Levels, 0);
    Write(dir, "grey.jpg", DcOnlyPicture(20, 12, false, 1, 1, Levels));
    Write(dir, "420.jpg", colour);
    Write(dir, "422_restart.jpg", DcOnlyPicture(33, 17, true, 2, 1, Levels, 2));
    Write(dir, "444.jpg", DcOnlyPicture(17, 9, true, 1, 1, Levels));
    Write(dir, "411.jpg", DcOnlyPicture(40, 8, true, 4, 1, Levels, 1));
    Write(dir, "ac_terms.jpg", WithAcTerms());
    Write(dir, "separate_scans.jpg", SeparateScans());
    Write(dir, "truncated.jpg", std::vector<uint8_t>(colour.begin(), colour.begin() + static_cast<long>(colour.size() * 2 / 3)));
    std::vector<uint8_t> flipped = colour;
    flipped[flipped.size() / 2] ^= 0x5A;
    Write(dir, "flipped.jpg", flipped);
    std::vector<uint8_t> noEnd(colour.begin(), colour.end() - 2);
    Write(dir, "no_eoi.jpg", noEnd);
    return 0;
}
