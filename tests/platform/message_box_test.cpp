#include <gtest/gtest.h>

#include <cerrno>

#include "platform/message_box.h"

TEST(MessageBox, OneLineWithCaptionAndTheLastErrorsText) {
    testing::internal::CaptureStderr();
    errno = ENOENT;
    vcdalbum::platform::ShowLastErrorMessage("VRX burner init failure");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VRX burner init failure: No such file or directory\n");
}
