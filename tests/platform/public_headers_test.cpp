// Every public header, included together; in the 32-bit build this also
// compiles the layout checks of the boundary records.
#include "vcdalbum/Authoring.h"
#include "vcdalbum/Image.h"
#include "vcdalbum/StreamInfo.h"
#include "vcdalbum/VRX_Burner.h"
#include "vcdalbum/codec.h"
#include "vcdalbum/export.h"
#include "vcdalbum/records.h"

#include <gtest/gtest.h>

// Records without pointers have the same layout at every pointer width.
TEST(PublicRecords, PointerFreeRecordsKeepTheirSizeEverywhere) {
    EXPECT_EQ(sizeof(_QelDriveInfo), 44u);
    EXPECT_EQ(sizeof(_QelDiscInfo), 18u);
    EXPECT_EQ(sizeof(FSInfo), 344u);
}

