// The one interface the fake component module implements: IUnknown plus
// Tag() at slot 3, answering the data1 word of the class it was made for.
#pragma once

#include "platform/com.h"

struct ITagged : vcdalbum::com::IUnknown {
    virtual uint32_t Tag() = 0;

protected:
    ~ITagged() = default;
};
