#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define VCDALBUM_GETPID _getpid
#else
#include <unistd.h>
#define VCDALBUM_GETPID getpid
#endif

namespace vcdalbum::platform {

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string* error) {
    static std::atomic<unsigned> counter{0};
    // Beside the target, so that the rename stays on one file system.
    const std::string temp = path + ".part-" + std::to_string(static_cast<long>(VCDALBUM_GETPID())) + "-" +
                             std::to_string(counter.fetch_add(1));
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) return fail(std::string("cannot write (") + std::strerror(errno) + ")");
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int code = !written ? writeErrno : errno;
        std::remove(temp.c_str());
        return fail(std::string("write failed (") + std::strerror(code) + ")");
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        return fail("cannot rename into place (" + ec.message() + ")");
    }
    return true;
}

}  // namespace vcdalbum::platform
