#include "app/console.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

namespace {

bool redirected(DWORD which)
{
    const HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

} // namespace

void attachParentConsole()
{
    const bool out = redirected(STD_OUTPUT_HANDLE);
    const bool err = redirected(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // The C runtime found no stream at start-up: open the console's in their place.
    if (!out && !std::freopen("CONOUT$", "w", stdout))
        return;
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}

#else

void attachParentConsole() {}

#endif
