#include "atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace vcdalbum::cli {

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error) {
    const std::string temp = path + ".part-" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        error = path + ": cannot write (" + std::strerror(errno) + ")";
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const int savedErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        std::remove(temp.c_str());
        error = path + ": write failed (" + std::strerror(written ? errno : savedErrno) + ")";
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        error = path + ": cannot rename into place (" + ec.message() + ")";
        return false;
    }
    return true;
}

}  // namespace vcdalbum::cli
