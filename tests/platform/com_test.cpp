#include <gtest/gtest.h>


#include "doubles/scoped_env.h"
#include "platform/com.h"
#include "platform/module_loader.h"
#include "tagged.h"

namespace com = vcdalbum::com;
using vcdalbum::testing::ScopedEnv;

namespace {

constexpr com::GUID kClassA = {0x11111111, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr com::GUID kClassB = {0x11111111, 1, 2, {1, 2, 3, 4, 5, 6, 7, 9}};
constexpr com::GUID kAnyIid = {0x22222222, 3, 4, {0, 0, 0, 0, 0, 0, 0, 1}};

com::ClassFactory Answer(com::HRESULT hr, void* object, int* calls) {
    return [=](com::REFIID, void** out) {
        ++*calls;
        *out = object;
        return hr;
    };
}

}  // namespace

TEST(ComRegistry, RegisteredFactoryIsUsedAndReplacementReturnsThePrevious) {
    int first = 0, second = 0;
    int marker = 0;
    EXPECT_FALSE(com::RegisterClassFactory(kClassA, Answer(com::S_OK, &marker, &first)));
    com::ClassFactory old = com::RegisterClassFactory(kClassA, Answer(com::E_FAIL, nullptr, &second));
    ASSERT_TRUE(old);

    void* object = &first;
    EXPECT_EQ(com::CoCreateInstance(kClassA, nullptr, com::CLSCTX_INPROC_SERVER, kAnyIid, &object), com::E_FAIL);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(second, 1);

    com::RegisterClassFactory(kClassA, std::move(old));
    EXPECT_EQ(com::CoCreateInstance(kClassA, nullptr, com::CLSCTX_INPROC_SERVER, kAnyIid, &object), com::S_OK);
    EXPECT_EQ(object, &marker);
    EXPECT_EQ(first, 1);
    com::UnregisterClassFactory(kClassA);
}

TEST(ComRegistry, RefusesAggregationAndNullOutPointer) {
    int calls = 0;
    int marker = 0;
    com::RegisterClassFactory(kClassB, Answer(com::S_OK, &marker, &calls));
    void* object = &marker;
    auto* outer = reinterpret_cast<com::IUnknown*>(&marker);
    EXPECT_EQ(com::CoCreateInstance(kClassB, outer, com::CLSCTX_INPROC_SERVER, kAnyIid, &object),
              com::CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(com::CoCreateInstance(kClassB, nullptr, com::CLSCTX_INPROC_SERVER, kAnyIid, nullptr), com::E_POINTER);
    EXPECT_EQ(calls, 0);
    com::UnregisterClassFactory(kClassB);
}

// Classes nobody registered are asked of the burner component module.
TEST(ComRegistry, UnregisteredClassComesFromTheComponentModule) {
    ScopedEnv dir(vcdalbum::platform::kComponentDirVariable, VCDALBUM_FAKE_COMPONENT_DIR);
    constexpr com::GUID kComponentClass = {0xC0FFEE, 0, 0, {0}};
    void* raw = nullptr;
    ASSERT_EQ(com::CoCreateInstance(kComponentClass, nullptr, com::CLSCTX_INPROC_SERVER, kAnyIid, &raw), com::S_OK);
    auto tagged = com::ComPtr<ITagged>::Attach(static_cast<ITagged*>(raw));
    EXPECT_EQ(tagged->Tag(), 0xC0FFEEu);

    constexpr com::GUID kUnknownToIt = {0xBAD, 0, 0, {0}};
    raw = &raw;
    EXPECT_EQ(com::CoCreateInstance(kUnknownToIt, nullptr, com::CLSCTX_INPROC_SERVER, kAnyIid, &raw),
              com::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(raw, nullptr);
}
