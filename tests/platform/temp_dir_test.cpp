#include <gtest/gtest.h>

#include <filesystem>

#include "doubles/scoped_env.h"
#include "platform/temp_dir.h"

namespace platform = vcdalbum::platform;
using vcdalbum::testing::ScopedEnv;

TEST(TempDirectory, TempThenTmpdirThenTheSystemsOwn) {
    {
        ScopedEnv temp("TEMP", "/var/temp-a");
        ScopedEnv tmpdir("TMPDIR", "/var/tmpdir-b");
        EXPECT_EQ(platform::TempDirectory(), "/var/temp-a");
    }
    {
        ScopedEnv temp("TEMP", "");
        ScopedEnv tmpdir("TMPDIR", "/var/tmpdir-b");
        EXPECT_EQ(platform::TempDirectory(), "/var/tmpdir-b");
    }
    {
        ScopedEnv temp("TEMP", nullptr);
        ScopedEnv tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(std::filesystem::path(platform::TempDirectory()), std::filesystem::temp_directory_path());
    }
}

TEST(TempDirectory, PathsJoinWithOneSeparator) {
    {
        ScopedEnv temp("TEMP", "/work/t");
        EXPECT_EQ(platform::TempPath("menu3.mpg"), "/work/t/menu3.mpg");
    }
    ScopedEnv temp("TEMP", "/work/t/");
    EXPECT_EQ(platform::TempPath("menu3.mpg"), "/work/t/menu3.mpg");
    // No fixed buffer: a very long directory survives whole.
    const std::string longDir = "/" + std::string(600, 'd');
    ScopedEnv longTemp("TEMP", longDir.c_str());
    EXPECT_EQ(platform::TempPath("album1.mpg"), longDir + "/album1.mpg");
}
