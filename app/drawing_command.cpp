#include "drawing_command.h"

#include "command.h"
#include "console/errors.h"
#include "picture/menu_page.h"

namespace vcdalbum::cli {

int RunDrawingCommand(const std::function<int()>& body) {
    int rc = kExitOk;
    try {
        rc = body();
    } catch (const host::InputError& e) {
        PrintError(e.what());
        rc = kExitBadInput;
    } catch (const host::RunError& e) {
        PrintError(e.what());
        rc = kExitFailed;
    }
    host::ReleaseFontCaches();
    return rc;
}

}  // namespace vcdalbum::cli
