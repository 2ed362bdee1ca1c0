// The codec and transition calls on several threads at once, each thread on
// pictures of its own: every result must equal the one of a run on a single
// thread. Under ThreadSanitizer (the debug-tsan preset) shared state would
// also be reported as a race.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "codec/picture_files.h"
#include "test_pictures.h"
#include "vcdalbum/Authoring.h"

namespace vcdalbum::transitions::test {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes PixelBytes(const Image& image) {
    if (!image.data) return {};
    return Bytes(image.data, image.data + image.imageSize);
}

// Everything one job produces, apart from the names that carry the serial.
struct Outcome {
    std::vector<Bytes> results;
    std::vector<std::string> frameNames;

    bool operator==(const Outcome& other) const { return results == other.results; }
};

// A job of its own size and content: encode, decode, save and load, scale,
// render frames in memory and to files, and a whole frame sequence.
Outcome RunJob(int job, const fs::path& dir) {
    Outcome o;
    const std::string tag = dir.string() + "/job" + std::to_string(job);
    const uint32_t width = 64 + 8 * job, height = 40 + 4 * job;
    OwnedImage first, second;
    MakeCoded(first, width, height, kFirst);
    MakeFlat(second, width, height, static_cast<unsigned char>(30 * job));
    for (uint32_t y = 0; y < height; ++y) second.row(y)[3 * (y % width) + 1] = 255;

    std::vector<uint8_t> jpeg;
    EXPECT_TRUE(EncodeJpeg(first.get(), jpeg).ok());
    o.results.push_back(jpeg);
    OwnedImage decoded;
    EXPECT_TRUE(DecodeJpeg(jpeg, decoded.get()).ok());
    o.results.push_back(PixelBytes(decoded.get()));

    const std::string firstPath = tag + "-first.jpg", secondPath = tag + "-second.jpg";
    EXPECT_EQ(codec::SaveJpegImage(firstPath.c_str(), &decoded.get()), 0);
    EXPECT_EQ(codec::SaveJpegImage(secondPath.c_str(), &second.get()), 0);
    o.results.push_back(FileBytes(firstPath));
    OwnedImage loaded;
    codec::LoadJpegImage(secondPath.c_str(), &loaded.get());
    o.results.push_back(PixelBytes(loaded.get()));

    OwnedImage scaled;
    EXPECT_TRUE(ScaleImage(decoded.get(), width / 2 + 3, height + 5, scaled.get()));
    o.results.push_back(PixelBytes(scaled.get()));

    for (unsigned effect : {4u, 15u, 18u, 34u, 37u}) {
        const int frame = 7 + job % 5;
        OwnedImage out;
        EXPECT_TRUE(RenderTransition(decoded.get(), loaded.get(), effect, frame, out.get()).ok());
        o.results.push_back(PixelBytes(out.get()));
        const std::string path = tag + "-effect" + std::to_string(effect) + ".jpg";
        EXPECT_TRUE(RenderTransitionToFile(decoded.get(), loaded.get(), path, effect, frame).ok());
        o.results.push_back(FileBytes(path));
    }

    Authoring authoring;
    char* names[TransitionFrames] = {};
    EXPECT_EQ(authoring.GetTransitionEffect(const_cast<char*>(firstPath.c_str()), const_cast<char*>(secondPath.c_str()),
                                            35, names),
              0);
    for (char* name : names) {
        if (!name) continue;
        o.frameNames.emplace_back(name);
        o.results.push_back(FileBytes(name));
        std::free(name);
    }
    return o;
}

TEST(Threads, CodecAndTransitionsOnSeveralThreadsMatchOneThread) {
    const fs::path dir = fs::temp_directory_path() / ("vcdalbum-threads-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sequential");
    fs::create_directories(dir / "parallel");
    // Frame sequences go to TEMP; set before any thread starts.
    ::setenv("TEMP", dir.c_str(), 1);

    constexpr int kJobs = 8, kThreads = 4;
    std::vector<Outcome> sequential(kJobs), parallel(kJobs);
    for (int job = 0; job < kJobs; ++job) sequential[job] = RunJob(job, dir / "sequential");

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int job = kJobs - 1 - t; job >= 0; job -= kThreads) parallel[job] = RunJob(job, dir / "parallel");
        });
    for (std::thread& thread : threads) thread.join();

    std::set<std::string> names;
    for (int job = 0; job < kJobs; ++job) {
        ASSERT_EQ(parallel[job].results.size(), sequential[job].results.size()) << "job " << job;
        for (size_t i = 0; i < sequential[job].results.size(); ++i) {
            EXPECT_FALSE(sequential[job].results[i].empty()) << "job " << job << ", result " << i;
            EXPECT_EQ(parallel[job].results[i], sequential[job].results[i]) << "job " << job << ", result " << i;
        }
        EXPECT_EQ(parallel[job].frameNames.size(), static_cast<size_t>(TransitionFrames));
        names.insert(parallel[job].frameNames.begin(), parallel[job].frameNames.end());
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kJobs * TransitionFrames)) << "two sequences shared a serial";
    fs::remove_all(dir);
    ::unsetenv("TEMP");
}

}  // namespace
}  // namespace vcdalbum::transitions::test
