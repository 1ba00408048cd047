// Console events on Windows: Ctrl-C, Ctrl-Break, the console window closed,
// log-off and shut-down.
#pragma once

#include <windows.h>

namespace platform {

// What Windows calls, on a thread of its own, for each console event once
// interruptions are caught. Tests call it the same way.
BOOL WINAPI NoteConsoleEvent(DWORD event);

}  // namespace platform
