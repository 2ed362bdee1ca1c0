#include "platform/stream_encoder.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/module_loader.h"

namespace vcdalbum::platform {
namespace {

std::atomic<StreamEncodeFn> override_{nullptr};
std::atomic<StreamEncodeMovingFn> movingOverride_{nullptr};

}  // namespace

StreamEncodeFn SetStreamEncoder(StreamEncodeFn fn) { return override_.exchange(fn); }
StreamEncodeMovingFn SetMovingStreamEncoder(StreamEncodeMovingFn fn) { return movingOverride_.exchange(fn); }

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

int CallStreamEncodeMoving(StreamInfo* info, const StreamMotion* motion) {
    if (StreamEncodeMovingFn fn = movingOverride_.load()) return fn(info, motion);
    if (override_.load() != nullptr) return CallStreamEncode(info);
    std::string error;
    void* symbol = ComponentSymbol(kStreamModuleFile, "StreamEncodeMoving", error);
    if (!symbol) {
        std::fprintf(stderr, "vcdalbum: %s; the pictures are held still\n", error.c_str());
        return CallStreamEncode(info);
    }
    return reinterpret_cast<StreamEncodeMovingFn>(symbol)(info, motion);
}

}  // namespace vcdalbum::platform
