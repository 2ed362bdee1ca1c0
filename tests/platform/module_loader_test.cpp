#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "doubles/native_path.h"
#include "doubles/scoped_env.h"
#include "platform/module_loader.h"
#include "platform/stream_encoder.h"
#include "vcdalbum/StreamInfo.h"

namespace platform = vcdalbum::platform;
using testing::HasSubstr;
using vcdalbum::testing::In;
using vcdalbum::testing::kSep;
using vcdalbum::testing::ScopedEnv;

namespace {
#if defined(_WIN32)
constexpr char kEnvDir[] = "C:\\Program Files\\components";
constexpr char kModule[] = "x.dll";
#else
constexpr char kEnvDir[] = "/opt/my components";
constexpr char kModule[] = "libx.so";
#endif

// A build-tree path as the program sees it: under wine the Unix root is
// drive Z:.
std::string AsSeenByTheProgram(std::string path) {
#if defined(_WIN32)
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.front() == '\\') path = "Z:" + path;
#endif
    return path;
}
}  // namespace

TEST(ComponentSearch, EnvironmentFirstThenOwnFolderAndLibThenBareName) {
    ScopedEnv dir(platform::kComponentDirVariable, kEnvDir);
    const std::string own = platform::module_os::OwnModuleDirectory();
    ASSERT_FALSE(own.empty());
    // The tests are programs in bin/, the components libraries in lib/. On
    // Windows the directory comes with a drive letter (Z: under wine).
    EXPECT_EQ(own, AsSeenByTheProgram(VCDALBUM_BINARY_DIR "/bin"));
    const std::string lib = AsSeenByTheProgram(VCDALBUM_BINARY_DIR "/lib");
    EXPECT_THAT(platform::ComponentSearchPaths(kModule),
                testing::ElementsAre(In(kEnvDir, kModule), In(own, kModule), In(lib, kModule), kModule));

    ScopedEnv empty(platform::kComponentDirVariable, "");
    EXPECT_EQ(platform::ComponentSearchPaths(kModule).front(), In(own, kModule));
}

// Stand-in modules of one name in several of the searched folders, each
// answering StreamEncode with its own number: which one loads shows which
// folder won.
TEST(ComponentSearch, LoadsFromTheFirstFolderThatHasTheModule) {
    const std::string components = AsSeenByTheProgram(VCDALBUM_FAKE_COMPONENT_DIR);
    ScopedEnv dir(platform::kComponentDirVariable, components.c_str());
    StreamInfo info{};
    auto answer = [&](const char* name) {
        std::string error;
        auto encode = reinterpret_cast<platform::StreamEncodeFn>(platform::ComponentSymbol(name, "StreamEncode", error));
        EXPECT_NE(encode, nullptr) << error;
        return encode ? encode(&info) : -1;
    };
    EXPECT_EQ(answer(VCDALBUM_PROBE_IN_ENV_AND_OWN), 1000);  // the named folder before our own
    EXPECT_EQ(answer(VCDALBUM_PROBE_IN_OWN_AND_LIB), 2000);  // our own folder before ../lib
    EXPECT_EQ(answer(VCDALBUM_PROBE_IN_LIB), 3000);          // ../lib is searched
}

TEST(ComponentSearch, MissingModuleSaysWhatWasTried) {
    std::string error;
    const std::string missing = std::string("vcdalbum-no-such-module") + (kSep == '/' ? ".so" : ".dll");
    EXPECT_EQ(platform::ComponentSymbol(missing, "f", error), nullptr);
    EXPECT_THAT(error, HasSubstr("cannot load " + missing));
    EXPECT_THAT(error, HasSubstr(In(AsSeenByTheProgram(VCDALBUM_BINARY_DIR "/bin"), missing)));
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
