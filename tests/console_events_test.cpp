// Console events on Windows: each ends a conversion that waits on a stalled
// input with "Conversion interrupted", no grid and status 130, also when
// Windows would end the process as soon as the handler returns, and also
// with a second event during the clean-up. Wine cannot send console events
// to a program, so a runner plays Windows' part (console_event_runner.cpp).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

struct OwnedHandle {
    HANDLE handle;
    ~OwnedHandle() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

HANDLE MakePipe(const std::wstring& name) {
    return CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                            4096, 4096, 0, nullptr);
}

// Until the runner opens the pipe; false when it ends first, or after 20 s.
bool AwaitRunner(HANDLE pipe, HANDLE runner) {
    const OwnedHandle connected{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED waiting{};
    waiting.hEvent = connected.handle;
    if (ConnectNamedPipe(pipe, &waiting) || GetLastError() == ERROR_PIPE_CONNECTED) return true;
    const HANDLE either[] = {connected.handle, runner};
    if (GetLastError() == ERROR_IO_PENDING && WaitForMultipleObjects(2, either, FALSE, 20000) == WAIT_OBJECT_0)
        return true;
    CancelIo(pipe);
    DWORD ignored = 0;
    GetOverlappedResult(pipe, &waiting, &ignored, TRUE);
    return false;
}

void WriteAll(HANDLE pipe, const std::string& text) {
    const OwnedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED writing{};
    writing.hEvent = done.handle;
    DWORD written = 0;
    if (!WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), nullptr, &writing))
        GetOverlappedResult(pipe, &writing, &written, TRUE);
}

struct Outcome {
    DWORD exitStatus = 0;
    std::string output;
};

// The image's header and data files are named pipes; the data pipe stays
// open and empty, and the events are sent once the run has opened it.
Outcome RunWithEvents(const std::string& events, const ScratchFolder& scratch) {
    const std::string base = "\\\\.\\pipe\\" + scratch.Path().filename().string();
    OwnedHandle header{MakePipe(fs::path(base + ".doc").wstring())};
    const OwnedHandle data{MakePipe(fs::path(base + ".img").wstring())};
    const std::string goName = scratch.Path().filename().string() + "-go";
    const OwnedHandle go{CreateEventA(nullptr, TRUE, FALSE, goName.c_str())};
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const OwnedHandle output{CreateFileW((scratch / "output").wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherited, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output.handle;
    std::string commandLine = "\"" CONSOLE_EVENT_RUNNER "\" " + events + " " + goName + " " + base + " \"" +
                              (scratch / "grid").string() + "\"";
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return {};
    const OwnedHandle runner{process.hProcess}, thread{process.hThread};
    const std::string text =
        "data type : byte\nfile type : binary\ncolumns : 4\nrows : 2\nmin. X : 0\nmax. X : 4\nmin. Y : 0\nmax. Y : 2\n";
    Outcome outcome;
    if (AwaitRunner(header.handle, runner.handle)) {
        WriteAll(header.handle, text);
        FlushFileBuffers(header.handle);
        CloseHandle(std::exchange(header.handle, nullptr));
        if (AwaitRunner(data.handle, runner.handle)) SetEvent(go.handle);
    }
    if (WaitForSingleObject(runner.handle, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(runner.handle, 9);
        WaitForSingleObject(runner.handle, INFINITE);
        outcome.output = "(did not end)";
    }
    GetExitCodeProcess(runner.handle, &outcome.exitStatus);
    outcome.output += ReadFile(scratch / "output");
    std::erase(outcome.output, '\r');
    return outcome;
}

TEST(ConsoleEvents, EachEndsTheRunAndRemovesTheGrid) {
    for (const char* events : {"0", "1", "2", "5", "6", "0,0", "2,0,1"}) {
        SCOPED_TRACE(std::string("events ") + events);
        const ScratchFolder scratch;
        const Outcome run = RunWithEvents(events, scratch);
        EXPECT_EQ(run.exitStatus, 130u);
        EXPECT_EQ(run.output, "Conversion interrupted\n");
        EXPECT_FALSE(fs::exists(scratch / "grid"));
    }
}

}  // namespace
