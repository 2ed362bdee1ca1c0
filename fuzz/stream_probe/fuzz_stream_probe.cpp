// Fuzzes the burner component's stream checks: the bytes become a file that
// is probed as an MPEG-1 program stream or a RIFF/CDXA track, and unwrapped
// when it is the latter.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mpeg_file.h"
#include "doubles/scratch_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vcdalbum::components::burner;
    namespace testing = vcdalbum::testing;
    const testing::ScratchDir dir;  // per input: libFuzzer ends without running destructors
    const auto in = dir / "track.dat";
    testing::WriteFile(in, std::string(reinterpret_cast<const char*>(data), size));
    const StreamProbe probe = ProbeStream(in);
    if (probe.ok && probe.isDat) {
        std::string error;
        UnwrapDat(in, dir / "track.mpg", error);
    }
    return 0;
}
