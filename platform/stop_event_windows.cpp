#include "platform/stop_event_windows.h"

#include <windows.h>

#include <cwchar>

#include "platform/interrupt_watch.h"

namespace platform {

namespace {

struct StopWatch {
    HANDLE event;
    void (*onStop)();
};

DWORD WINAPI AwaitStop(void* parameter) {
    const StopWatch* watch = static_cast<const StopWatch*>(parameter);
    if (WaitForSingleObject(watch->event, INFINITE) == WAIT_OBJECT_0) watch->onStop();
    return 0;
}

}  // namespace

bool WatchStopEvent(void (*onStop)()) {
    static bool watching = false;
    if (watching) return false;
    wchar_t name[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(stopEventVariable, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (event == nullptr) return false;
    if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) {
        CloseHandle(event);
        return true;
    }
    static StopWatch watch;
    watch = {event, onStop};
    const HANDLE thread = CreateThread(nullptr, 0, AwaitStop, &watch, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(event);
        return false;
    }
    CloseHandle(thread);
    watching = true;
    return false;
}

}  // namespace platform
