// vbv-check: runs the constant-rate decoder buffer over MPEG-1 program or
// video elementary streams and lists every underflow and overflow.
// Exit code: 0 when every stream is clean, 1 when one is not, 2 when one
// cannot be read.
#include <cstdio>
#include <cstring>

#include "vbv_model.h"

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: vbv-check FILE.mpg...\n");
        return 2;
    }
    int result = 0;
    for (int i = 1; i < argc; ++i) {
        const vcdalbum::components::stream::VbvReport report = vcdalbum::components::stream::CheckVbvFile(argv[i]);
        std::printf("%s: %s", argv[i], report.Describe().c_str());
        if (!report.error.empty()) result = 2;
        else if (!report.ok() && result == 0) result = 1;
    }
    return result;
}
