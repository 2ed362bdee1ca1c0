// Sets or clears an environment variable for one scope, then puts it back:
// the host's own settings for the library during a build, and tests.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vcdalbum::platform {

// Sets an environment variable; a null value clears it. The Windows C
// runtime has _putenv_s, where an empty value also clears the variable.
inline void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

class ScopedEnv {
public:
    // A null value clears the variable.
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const char* value) { SetEnv(name_.c_str(), value); }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace vcdalbum::platform
