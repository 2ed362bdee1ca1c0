#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace vcdalbum::platform {

void ShowLastErrorMessage(const char* caption) {
    const DWORD error = GetLastError();
    char* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageA(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    // Some codes have no system text; the number still helps whoever reads the box.
    const std::string fallback = "Error " + std::to_string(error);
    MessageBoxA(nullptr, length && text ? text : fallback.c_str(), caption ? caption : "", MB_OK | MB_ICONINFORMATION);
    if (text) LocalFree(text);
}

}  // namespace vcdalbum::platform
