#include "platform/stream_encoder.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/module_loader.h"

namespace vcdalbum::platform {
namespace {

std::atomic<StreamEncodeFn> override_{nullptr};

}  // namespace

StreamEncodeFn SetStreamEncoder(StreamEncodeFn fn) { return override_.exchange(fn); }

int CallStreamEncode(StreamInfo* info) {
    if (StreamEncodeFn fn = override_.load()) return fn(info);
    std::string error;
    void* symbol = ComponentSymbol(kStreamModuleFile, "StreamEncode", error);
    if (!symbol) {
        std::fprintf(stderr, "vcdalbum: %s\n", error.c_str());
        return -1;
    }
    return reinterpret_cast<StreamEncodeFn>(symbol)(info);
}

}  // namespace vcdalbum::platform
