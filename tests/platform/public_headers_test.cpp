// Every public header compiles on its own and together; in the 32-bit build
// this also compiles the layout checks of the boundary records.
#include "vcdalbum/Authoring.h"
#include "vcdalbum/Image.h"
#include "vcdalbum/StreamInfo.h"
#include "vcdalbum/VRX_Burner.h"
#include "vcdalbum/codec.h"
#include "vcdalbum/export.h"
#include "vcdalbum/records.h"

#include <gtest/gtest.h>

#include <cstddef>

// Records without pointers have the same layout at every pointer width.
TEST(PublicRecords, PointerFreeRecordsKeepTheirSizeEverywhere) {
    EXPECT_EQ(sizeof(_QelDriveInfo), 44u);
    EXPECT_EQ(sizeof(_QelDiscInfo), 18u);
    EXPECT_EQ(sizeof(FSInfo), 344u);
}

TEST(PublicRecords, PointerRecordsMatchTheDocumentedLayoutOn32Bit) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "the documented layout is the 32-bit one";
    EXPECT_EQ(sizeof(StreamInfo), 562u);
    EXPECT_EQ(sizeof(IOInfo), 30u);
    EXPECT_EQ(offsetof(IOInfo, speed), 22u);
    EXPECT_EQ(sizeof(ReportInfo), 20u);
    EXPECT_EQ(sizeof(_pbc_t), 120u);
    EXPECT_EQ(offsetof(_pbc_t, selections), 96u);
    EXPECT_EQ(sizeof(PbcList), 16u);
    EXPECT_EQ(sizeof(PbcListNode), 12u);
    EXPECT_EQ(sizeof(Image), 44u);
}
