// A scratch folder that goes with everything in it, and whole-file reads
// and writes, for tests and fuzz targets that work on files.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vcdalbum::testing {

namespace fs = std::filesystem;

class ScratchDir {
public:
    // A new folder in the temporary directory, named `prefix` and a number
    // no other folder there has.
    explicit ScratchDir(const std::string& prefix = "vcdalbum-test-") {
        static std::atomic<unsigned> serial{0};
        std::random_device random;
        do path_ = fs::temp_directory_path() / (prefix + std::to_string(random()) + "-" + std::to_string(serial++));
        while (!fs::create_directory(path_));
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

inline std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace vcdalbum::testing
