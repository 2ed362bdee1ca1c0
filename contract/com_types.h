// The COM types the library and the burner component share across the
// module boundary: HRESULT and its codes, GUID, IUnknown, the component's
// creation entry point and ComPtr. Header-only: the component never links
// the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(_WIN32)
#  define VCD_STDCALL __stdcall
#else
#  define VCD_STDCALL
#endif

namespace vcdalbum::com {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Method positions 0..2 of every interface.
struct IUnknown {
    virtual HRESULT VCD_STDCALL QueryInterface(REFIID iid, void** object) = 0;
    virtual uint32_t VCD_STDCALL AddRef() = 0;
    virtual uint32_t VCD_STDCALL Release() = 0;

protected:
    ~IUnknown() = default;
};

// What the burner component module exports as "QelCreateObject".
extern "C" {
typedef HRESULT (*ComponentCreateFn)(const GUID* clsid, const GUID* iid, void** object);
}


// A reference-counted interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other) {
        if (other.p_) other.p_->AddRef();
        reset();
        p_ = other.p_;
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* raw) { ComPtr c; c.p_ = raw; return c; }

    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Releases what is held and returns the slot for an out parameter.
    void** put_void() { reset(); return reinterpret_cast<void**>(&p_); }
    T** put() { reset(); return &p_; }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace vcdalbum::com
