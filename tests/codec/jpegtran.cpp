#include "jpegtran.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace vcdalbum::codec::testing {

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool HaveJpegtran() { return std::system("jpegtran -version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> Jpegtran(const std::string& args, const std::vector<uint8_t>& input) {
    const std::string base = std::string(VCDALBUM_BINARY_DIR) + "/jpegtran_" + std::to_string(::getpid());
    const std::string in = base + ".in.jpg", out = base + ".out.jpg";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    std::vector<uint8_t> result;
    if (std::system(("jpegtran " + args + " -outfile '" + out + "' '" + in + "' 2>/dev/null").c_str()) == 0)
        result = ReadFileBytes(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return result;
}

}  // namespace vcdalbum::codec::testing
