#include <gtest/gtest.h>

#include <filesystem>

#include "doubles/native_path.h"
#include "doubles/scoped_env.h"
#include "platform/temp_dir.h"

namespace platform = vcdalbum::platform;
using vcdalbum::testing::In;
using vcdalbum::testing::kSep;
using vcdalbum::testing::ScopedEnv;

namespace {
// Directories as people on each platform write them.
#if defined(_WIN32)
constexpr char kDirA[] = "C:\\Temp A";
constexpr char kDirB[] = "D:\\tmpdir-b";
constexpr char kWork[] = "C:\\work\\t";
#else
constexpr char kDirA[] = "/var/temp a";
constexpr char kDirB[] = "/var/tmpdir-b";
constexpr char kWork[] = "/work/t";
#endif
}  // namespace

TEST(TempDirectory, TempThenTmpdirThenTheSystemsOwn) {
    {
        ScopedEnv temp("TEMP", kDirA);
        ScopedEnv tmpdir("TMPDIR", kDirB);
        EXPECT_EQ(platform::TempDirectory(), kDirA);
    }
    {
        ScopedEnv temp("TEMP", "");
        ScopedEnv tmpdir("TMPDIR", kDirB);
        EXPECT_EQ(platform::TempDirectory(), kDirB);
    }
    {
        ScopedEnv temp("TEMP", nullptr);
        ScopedEnv tmpdir("TMPDIR", nullptr);
        // Windows answers with a trailing separator (GetTempPath), which is dropped.
        const std::string dir = platform::TempDirectory();
        ASSERT_FALSE(dir.empty());
        EXPECT_NE(dir.back(), platform::kPathSeparator);
        EXPECT_EQ(std::filesystem::path(dir) / "", std::filesystem::temp_directory_path() / "");
    }
}

TEST(TempDirectory, PathsJoinWithOneSeparator) {
    {
        ScopedEnv temp("TEMP", kWork);
        EXPECT_EQ(platform::TempPath("menu3.mpg"), In(kWork, "menu3.mpg"));
    }
    {
        ScopedEnv temp("TEMP", (std::string(kWork) + kSep).c_str());
        EXPECT_EQ(platform::TempPath("menu3.mpg"), In(kWork, "menu3.mpg"));
    }
    // A forward slash ends a directory on Windows too.
    ScopedEnv temp("TEMP", (std::string(kWork) + "/").c_str());
    EXPECT_EQ(platform::TempPath("menu3.mpg"), std::string(kWork) + "/menu3.mpg");
    // No fixed buffer: a very long directory survives whole.
    const std::string longDir = In(kWork, std::string(600, 'd'));
    ScopedEnv longTemp("TEMP", longDir.c_str());
    EXPECT_EQ(platform::TempPath("album1.mpg"), In(longDir, "album1.mpg"));
}
