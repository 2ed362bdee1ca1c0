#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/message_box.h"

namespace vcdalbum::platform {
namespace {

// A box nobody can see or close would hold the calling thread for ever.
bool NoOneToClick() {
    if (const char* value = std::getenv(kNoMessageBoxVariable); value && *value) return true;
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (station && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return (flags.dwFlags & WSF_VISIBLE) == 0;
    return false;
}

}  // namespace

void ShowLastErrorMessage(const char* caption) {
    const DWORD error = GetLastError();
    char* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageA(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    // Some codes have no system text; the number still helps whoever reads the box.
    const std::string message = length && text ? std::string(text, length) : "Error " + std::to_string(error);
    if (text) LocalFree(text);
    if (NoOneToClick())
        WriteMessageLine(caption, message);
    else
        MessageBoxA(nullptr, message.c_str(), caption ? caption : "", MB_OK | MB_ICONINFORMATION);
}

}  // namespace vcdalbum::platform
