#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "doubles/last_error.h"
#include "doubles/scoped_env.h"
#include "platform/message_box.h"

using vcdalbum::platform::ShowLastErrorMessage;

#if defined(_WIN32)
// Unattended, the box becomes one line on standard error: the system's text
// without the line end FormatMessage puts after it, or the bare number when
// the system has none.
TEST(MessageBox, UnattendedRunGetsOneLineInsteadOfABox) {
    vcdalbum::testing::ScopedEnv noBox(vcdalbum::platform::kNoMessageBoxVariable, "1");
    testing::internal::CaptureStderr();
    vcdalbum::testing::SetLastSystemError(2);  // ERROR_FILE_NOT_FOUND
    ShowLastErrorMessage("VRX burner init failure");
    const std::string line = testing::internal::GetCapturedStderr();
    EXPECT_THAT(line, testing::StartsWith("VRX burner init failure: "));
    EXPECT_THAT(line, testing::EndsWith(".\n"));  // the text itself, whole
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line.find('\n'), line.size() - 1);

    testing::internal::CaptureStderr();
    vcdalbum::testing::SetLastSystemError(0x20000123);  // an application's own code: no system text
    ShowLastErrorMessage("Burner check");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Burner check: Error 536871203\n");
}
#else
TEST(MessageBox, OneLineWithCaptionAndTheLastErrorsText) {
    testing::internal::CaptureStderr();
    errno = ENOENT;
    ShowLastErrorMessage("VRX burner init failure");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VRX burner init failure: No such file or directory\n");
}
#endif
