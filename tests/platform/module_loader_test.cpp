#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "doubles/scoped_env.h"
#include "platform/module_loader.h"
#include "platform/stream_encoder.h"

namespace platform = vcdalbum::platform;
using testing::HasSubstr;
using vcdalbum::testing::ScopedEnv;

TEST(ComponentSearch, EnvironmentFirstThenOwnFolderAndLibThenBareName) {
    ScopedEnv dir(platform::kComponentDirVariable, "/opt/components");
    const std::string own = platform::module_os::OwnModuleDirectory();
    ASSERT_FALSE(own.empty());
    // The tests are programs in bin/, the components libraries in lib/.
    EXPECT_EQ(own, VCDALBUM_BINARY_DIR "/bin");
    EXPECT_THAT(platform::ComponentSearchPaths("libx.so"),
                testing::ElementsAre("/opt/components/libx.so", own + "/libx.so", VCDALBUM_BINARY_DIR "/lib/libx.so",
                                     "libx.so"));

    ScopedEnv empty(platform::kComponentDirVariable, "");
    EXPECT_EQ(platform::ComponentSearchPaths("libx.so").front(), own + "/libx.so");
}

TEST(ComponentSearch, MissingModuleSaysWhatWasTried) {
    std::string error;
    EXPECT_EQ(platform::ComponentSymbol("libvcdalbum-no-such-module.so", "f", error), nullptr);
    EXPECT_THAT(error, HasSubstr("cannot load libvcdalbum-no-such-module.so"));
    EXPECT_THAT(error, HasSubstr(VCDALBUM_BINARY_DIR "/bin/libvcdalbum-no-such-module.so"));
}

TEST(ComponentSearch, MissingFunctionIsNamed) {
    ScopedEnv dir(platform::kComponentDirVariable, VCDALBUM_FAKE_COMPONENT_DIR);
    std::string error;
    EXPECT_EQ(platform::ComponentSymbol(platform::kStreamModuleFile, "NoSuchFunction", error), nullptr);
    EXPECT_EQ(error, std::string(platform::kStreamModuleFile) + " has no function NoSuchFunction");
}

namespace {
int RecordingEncode(StreamInfo* info) { return -info->pictureCount; }
int OtherEncode(StreamInfo*) { return 5; }
}  // namespace

TEST(StreamEncoder, OverrideTakesThePlaceOfTheComponentUntilCleared) {
    ScopedEnv dir(platform::kComponentDirVariable, VCDALBUM_FAKE_COMPONENT_DIR);
    StreamInfo info{};
    info.pictureCount = 3;

    EXPECT_EQ(platform::SetStreamEncoder(&RecordingEncode), nullptr);
    EXPECT_EQ(platform::CallStreamEncode(&info), -3);
    EXPECT_EQ(platform::SetStreamEncoder(&OtherEncode), &RecordingEncode);
    EXPECT_EQ(platform::CallStreamEncode(&info), 5);
    EXPECT_EQ(platform::SetStreamEncoder(nullptr), &OtherEncode);

    // The stand-in module answers 1000 + pictureCount.
    EXPECT_EQ(platform::CallStreamEncode(&info), 1003);
}
