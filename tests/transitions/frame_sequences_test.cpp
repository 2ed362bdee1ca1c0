// Frame sequences written to the temporary directory by
// Authoring::GetTransitionEffect and DoTransitionEffect.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "authoring/authoring_test_access.h"
#include "authoring/transition_sequences.h"
#include "codec/picture_files.h"
#include "doubles/scoped_env.h"
#include "test_pictures.h"
#include "vcdalbum/Authoring.h"

namespace vcdalbum::transitions::test {
namespace {

namespace fs = std::filesystem;

std::vector<char> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FrameSequences : public ::testing::Test {
protected:
    void SetUp() override {
        // The system's temporary directory also follows TEMP: find it first.
        const char* previous = std::getenv("TEMP");
        hadTemp_ = previous != nullptr;
        if (hadTemp_) previousTemp_ = previous;
        // A space in it, and on Windows a drive letter and backslashes, as
        // in the temporary directory of many a Windows user.
        dir_ = fs::temp_directory_path() / ("vcdalbum frames-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        vcdalbum::testing::SetEnv("TEMP", dir_.string().c_str());
        first_ = Picture("first.jpg", 352, 240, kFirst);
        second_ = Picture("second.jpg", 352, 240, kSecond);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        vcdalbum::testing::SetEnv("TEMP", hadTemp_ ? previousTemp_.c_str() : nullptr);
    }

    std::string Picture(const std::string& name, uint32_t width, uint32_t height, Which which) {
        OwnedImage picture;
        MakeCoded(picture, width, height, which);
        const std::string path = (dir_ / name).string();
        EXPECT_EQ(codec::SaveJpegImage(path.c_str(), &picture.get()), 0);
        return path;
    }
    std::string FramePath(int serial, int frame) const {
        return (dir_ / (std::to_string(serial) + "-" + std::to_string(frame) + ".jpg")).string();
    }
    static void Release(char** names) {
        for (int i = 0; i < TransitionFrames; ++i) std::free(names[i]);
    }

    fs::path dir_;
    std::string first_, second_;
    bool hadTemp_ = false;
    std::string previousTemp_;
};

TEST_F(FrameSequences, EachCallWritesThirtyFramesUnderTheNextSerial) {
    const int serial = authoring::transitionSerial;  // 0 when the process starts
    char* names[TransitionFrames];
    Authoring one, other;
    ASSERT_EQ(one.GetTransitionEffect(first_.data(), second_.data(), 14, names), 0);
    for (int i = 0; i < TransitionFrames; ++i) {
        ASSERT_NE(names[i], nullptr);
        EXPECT_EQ(names[i], FramePath(serial, i + 1));
        EXPECT_TRUE(fs::exists(names[i])) << names[i];
    }
    EXPECT_EQ(authoring::transitionSerial, serial + 1);
    Release(names);

    ASSERT_EQ(other.GetTransitionEffect(first_.data(), second_.data(), 14, names), 0);
    EXPECT_EQ(names[0], FramePath(serial + 1, 1));
    EXPECT_EQ(names[29], FramePath(serial + 1, 30));
    // Each name is a heap block of its own.
    for (int i = TransitionFrames - 1; i >= 0; --i) std::free(names[i]);
}

TEST_F(FrameSequences, FilesAreFramesOneToThirtyNeverZero) {
    char* names[TransitionFrames];
    Authoring authoring;
    ASSERT_EQ(authoring.GetTransitionEffect(first_.data(), second_.data(), 9, names), 0);
    OwnedImage from, to;
    codec::LoadJpegImage(first_.c_str(), &from.get());
    codec::LoadJpegImage(second_.c_str(), &to.get());
    ASSERT_NE(from.get().data, nullptr);
    for (int frame = 1; frame <= TransitionFrames; ++frame) {
        const std::string expected = (dir_ / "expected.jpg").string();
        ASSERT_TRUE(RenderTransitionToFile(from.get(), to.get(), expected, 9, frame).ok());
        EXPECT_EQ(Bytes(names[frame - 1]), Bytes(expected)) << "frame " << frame;
    }
    Release(names);
}

TEST_F(FrameSequences, DoTransitionEffectWritesOneFileAndKeepsTheSerial) {
    OwnedImage from, to;
    codec::LoadJpegImage(first_.c_str(), &from.get());
    codec::LoadJpegImage(second_.c_str(), &to.get());
    const int serial = authoring::transitionSerial;
    std::string path = (dir_ / "single.jpg").string();
    Authoring authoring;
    authoring.DoTransitionEffect(&from.get(), &to.get(), path.data(), 18, 15);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(authoring::transitionSerial, serial);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

TEST_F(FrameSequences, UnreadablePictureWritesNothingAndReturnsNoNames) {
    const int serial = authoring::transitionSerial;
    char placeholder = 0;
    char* names[TransitionFrames];
    for (auto& name : names) name = &placeholder;
    std::string missing = (dir_ / "missing.jpg").string();
    Authoring authoring;
    EXPECT_NE(authoring.GetTransitionEffect(first_.data(), missing.data(), 14, names), 0);
    for (char* name : names) EXPECT_EQ(name, nullptr);
    EXPECT_NE(authoring.GetTransitionEffect(nullptr, second_.data(), 14, names), 0);
    // So is a pair whose first picture cannot be scaled to the second's size.
    std::string wide = Picture("wide.jpg", 30001, 8, kSecond);
    EXPECT_NE(authoring.GetTransitionEffect(first_.data(), wide.data(), 14, names), 0);
    EXPECT_EQ(authoring::transitionSerial, serial);
    EXPECT_FALSE(fs::exists(FramePath(serial, 1)));
}

TEST_F(FrameSequences, PicturesOfDifferentSizesStillMakeAFullSequence) {
    const std::string small = Picture("small.jpg", 200, 150, kFirst);
    char* names[TransitionFrames];
    Authoring authoring;
    ASSERT_EQ(authoring.GetTransitionEffect(const_cast<char*>(small.c_str()), second_.data(), 20, names), 0);
    for (char* name : names) EXPECT_TRUE(fs::exists(name));
    OwnedImage frame;
    codec::LoadJpegImage(names[29], &frame.get());
    EXPECT_EQ(frame.get().width, 352u);
    EXPECT_EQ(frame.get().height, 240u);
    Release(names);
}

TEST_F(FrameSequences, SameArgumentsGiveByteIdenticalFiles) {
    OwnedImage from, to;
    codec::LoadJpegImage(first_.c_str(), &from.get());
    codec::LoadJpegImage(second_.c_str(), &to.get());
    Authoring authoring;
    std::string once = (dir_ / "once.jpg").string(), again = (dir_ / "again.jpg").string();
    // The chance effects too: their draws follow from the arguments.
    for (unsigned short effect = 0; effect < 38; ++effect) {
        for (int frame : {1, 15, 30}) {
            authoring.DoTransitionEffect(&from.get(), &to.get(), once.data(), effect, frame);
            authoring.DoTransitionEffect(&from.get(), &to.get(), again.data(), effect, frame);
            const std::vector<char> bytes = Bytes(once);
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ(bytes, Bytes(again)) << "effect " << effect << " frame " << frame;
        }
    }
    // A whole sequence draws each frame as the single call would.
    char* names[TransitionFrames];
    for (unsigned short effect : {15, 36}) {
        ASSERT_EQ(authoring.GetTransitionEffect(first_.data(), second_.data(), effect, names), 0);
        authoring.DoTransitionEffect(&from.get(), &to.get(), once.data(), effect, 15);
        EXPECT_EQ(Bytes(names[14]), Bytes(once)) << "effect " << effect;
        Release(names);
    }
}

TEST_F(FrameSequences, UnknownEffectStillWritesRealPictures) {
    char* names[TransitionFrames];
    Authoring authoring;
    ASSERT_EQ(authoring.GetTransitionEffect(first_.data(), second_.data(), 40, names), 0);
    OwnedImage frame;
    codec::LoadJpegImage(names[14], &frame.get());
    ASSERT_NE(frame.get().data, nullptr);
    EXPECT_EQ(Bytes(names[14]), Bytes(names[0]));
    Release(names);
}

TEST_F(FrameSequences, NamesInTheObjectsOwnTableAreReleasedWhenOverwritten) {
    // Run under the leak checker: the first 30 names must not be lost.
    Authoring authoring;
    char** table = AuthoringTestAccess::frameFiles(authoring);
    ASSERT_EQ(authoring.GetTransitionEffect(first_.data(), second_.data(), 0, table), 0);
    ASSERT_EQ(authoring.GetTransitionEffect(first_.data(), second_.data(), 1, table), 0);
    EXPECT_EQ(table[0], FramePath(authoring::transitionSerial - 1, 1));
}

}  // namespace
}  // namespace vcdalbum::transitions::test
