// The converter, with Windows' dispatch of console events played by a
// thread: once the named event is set, each event of the list goes to the
// handler on a thread of its own, one right after the other.
// As Windows does, a closed window, log-off or shut-down ends the process
// when the handler returns, and so does an event it declines.
//
//   cellport-console-events EVENTS GO_EVENT IN_IMAGE OUT_GRID
//   cellport-batch-console-events EVENTS GO_EVENT BATCH_ARGUMENTS...
//
// EVENTS lists event codes, such as "2,0": a closed window, then Ctrl-C.
// Built with CELLPORT_BATCH_RUNNER, it runs cellport-batch instead.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/console_events_windows.h"
#ifdef CELLPORT_BATCH_RUNNER
#include "batch/batch_command.h"
#include "platform/program_windows.h"
#else
#include "driver/conversion_run.h"
#endif

namespace {

constexpr DWORD endedByConsole = 0xC000013A;

DWORD WINAPI Dispatch(void* parameter) {
    const auto event = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(parameter));
    const BOOL handled = platform::NoteConsoleEvent(event);
    if (!handled || event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ExitProcess(endedByConsole);
    return 0;
}

struct Events {
    std::string list;
    HANDLE go;
};

DWORD WINAPI SendEvents(void* parameter) {
    const auto* events = static_cast<const Events*>(parameter);
    WaitForSingleObject(events->go, INFINITE);
    for (std::size_t at = 0; at < events->list.size(); at = events->list.find(',', at) + 1) {
        const auto event = static_cast<std::uintptr_t>(std::atoi(events->list.c_str() + at));
        CloseHandle(CreateThread(nullptr, 0, Dispatch, reinterpret_cast<void*>(event), 0, nullptr));
        if (events->list.find(',', at) == std::string::npos) break;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 5) return 2;
    static const Events events{argv[1], OpenEventA(SYNCHRONIZE, FALSE, argv[2])};
    CloseHandle(CreateThread(nullptr, 0, SendEvents, const_cast<Events*>(&events), 0, nullptr));
#ifdef CELLPORT_BATCH_RUNNER
    std::vector<std::string> arguments = platform::Utf8Arguments();
    arguments.erase(arguments.begin() + 1, arguments.begin() + 3);
    return RunBatchCommand(arguments);
#else
    if (argc != 5) return 2;
    return RunConversion(argc - 2, argv + 2);
#endif
}
