#include <windows.h>

#include <cstdio>
#include <utility>

#include "platform/child_process.h"
#include "mdgridio/grid_places.h"
#include "platform/interrupt_watch.h"
#include "platform/windows_text.h"

namespace platform {

namespace {

// A converter prints a line or two; more is kept only this far.
constexpr std::size_t outputKept = 64 * 1024;
constexpr DWORD pipeBytes = 64 * 1024;
// The completion key of a wake-up by an interruption; children count from 1.
constexpr ULONG_PTR wakeupKey = 0;

class Handle {
public:
    explicit Handle(HANDLE value = nullptr) : value(value == INVALID_HANDLE_VALUE ? nullptr : value) {}
    Handle(Handle&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        std::swap(value, other.value);
        return *this;
    }
    ~Handle() {
        if (value != nullptr) CloseHandle(value);
    }
    HANDLE Get() const { return value; }
    explicit operator bool() const { return value != nullptr; }

private:
    HANDLE value;
};

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : Utf8(message);
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

Handle Inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return Handle();
    return Handle(copy);
}

Handle OpenNul() {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return Handle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, 0, nullptr));
}

// Without a UTF-8 code page (Windows before 10 1903 ignores the programs'
// manifest), the converter gets its arguments in the ANSI code page, where
// a character outside it becomes '?' or a look-alike: "Łukasz" would
// become "Lukasz", someone else's image.
bool ReachesConverterIntact(const std::wstring& argument) {
    if (GetACP() == CP_UTF8 || argument.empty()) return true;
    const int size = static_cast<int>(argument.size());
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, argument.data(), size, nullptr, 0, nullptr,
                                           &lost);
    if (length <= 0 || lost) return false;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, argument.data(), size, narrow.data(), length, nullptr, &lost);
    std::wstring back(argument.size() * 2, L'\0');
    back.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, back.data(), static_cast<int>(back.size()))));
    return !lost && back == argument;
}

// Only these handles reach the child, not every inheritable one the batch
// holds (its log, other children's pipes).
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : handles(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
        ready = InitializeProcThreadAttributeList(list, 1, 0, &size) &&
                UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, this->handles.data(),
                                          this->handles.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~InheritedHandles() {
        if (ready) DeleteProcThreadAttributeList(List());
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST List() {
        return ready ? reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data()) : nullptr;
    }

private:
    std::vector<HANDLE> handles;
    std::vector<char> storage;
    bool ready = false;
};

}  // namespace

struct ChildProcesses::Child {
    Handle process;
    Handle output;
    Handle stop;
    std::size_t token = 0;
    ULONG_PTR key = 0;
    OVERLAPPED reading{};
    char buffer[4096];
    std::string kept;

    // False once the output has ended: the child closed it by exiting.
    bool ReadMore() {
        reading = OVERLAPPED{};
        return ReadFile(output.Get(), buffer, sizeof buffer, nullptr, &reading) || GetLastError() == ERROR_IO_PENDING;
    }
};

// Every child runs in the job, which ends them all if the batch is killed
// (closing its last handle); their pipes report to the one completion port.
struct ChildProcesses::Host {
    Handle job;
    Handle port;
    Handle input = OpenNul();
    Handle error = Inheritable(GetStdHandle(STD_ERROR_HANDLE));
    ULONG_PTR nextKey = wakeupKey + 1;
    ~Host() { WakeOnInterrupt(nullptr); }
};

ChildProcesses::ChildProcesses() : host(std::make_unique<Host>()) {
    host->job = Handle(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (host->job) SetInformationJobObject(host->job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    host->port = Handle(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!host->error) host->error = OpenNul();
    WakeOnInterrupt(host->port.Get());
}

ChildProcesses::~ChildProcesses() {
    for (std::unique_ptr<Child>& child : running) {
        DWORD ignored = 0;
        CancelIoEx(child->output.Get(), &child->reading);
        GetOverlappedResult(child->output.Get(), &child->reading, &ignored, TRUE);
        Reap(*child);
    }
}

std::string ChildProcesses::Start(const std::string& program, const std::vector<std::string>& arguments,
                                  std::size_t token, void* folder) {
    if (!host->port || !host->input) return "cannot set up the converters' pipes: " + LastErrorText();
    std::vector<std::wstring> words{Utf16(program)};
    for (const std::string& argument : arguments) {
        words.push_back(Utf16(argument));
        if (words.back().empty() != argument.empty()) return "not a UTF-8 name: " + argument;
        if (!ReachesConverterIntact(words.back()))
            return "the name holds characters outside this Windows' code page (" + std::to_string(GetACP()) +
                   "), which cellport cannot be given before Windows 10 1903";
    }
    // By the path of the held folder, which Windows then keeps open too.
    const std::wstring startFolder = folder != INVALID_HANDLE_VALUE ? mdgridio::FolderPath(folder) : L"";
    if (folder != INVALID_HANDLE_VALUE && startFolder.empty()) return "cannot tell where the grid's folder is";
    auto child = std::make_unique<Child>();
    child->token = token;
    child->key = host->nextKey++;

    const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(child->key);
    const std::wstring pipeName = L"\\\\.\\pipe\\cellport-batch-" + unique;
    constexpr DWORD pipeOpenMode = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    constexpr DWORD pipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    child->output = Handle(CreateNamedPipeW(pipeName.c_str(), pipeOpenMode, pipeMode, 1, 0, pipeBytes, 0, nullptr));
    if (!child->output) return "cannot make a pipe: " + LastErrorText();
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const Handle writeEnd(
        CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writeEnd) return "cannot open a pipe: " + LastErrorText();
    if (CreateIoCompletionPort(child->output.Get(), host->port.Get(), child->key, 0) == nullptr)
        return "cannot watch a pipe: " + LastErrorText();

    // A name no other process has taken: one that exists already may be a
    // trap set to stop this batch's converters.
    const std::wstring stopName = L"cellport-batch-stop-" + unique;
    child->stop = Handle(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    if (!child->stop || GetLastError() == ERROR_ALREADY_EXISTS) return "cannot make a stop event: " + LastErrorText();
    SetEnvironmentVariableW(stopEventVariable, stopName.c_str());

    std::vector<HANDLE> handles{host->input.Get(), writeEnd.Get()};
    if (host->error.Get() != host->input.Get()) handles.push_back(host->error.Get());
    InheritedHandles inheritedOnly(handles);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = host->input.Get();
    startup.StartupInfo.hStdOutput = writeEnd.Get();
    startup.StartupInfo.hStdError = host->error.Get();
    startup.lpAttributeList = inheritedOnly.List();
    std::wstring commandLine = QuotedCommandLine(words);
    PROCESS_INFORMATION started{};
    const auto create = [&](DWORD flags) {
        return CreateProcessW(words.front().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                              CREATE_SUSPENDED | flags, nullptr, startFolder.empty() ? nullptr : startFolder.c_str(),
                              &startup.StartupInfo, &started);
    };
    // Windows 7 takes no console handle in the list: then without it.
    if (!(startup.lpAttributeList != nullptr && create(EXTENDED_STARTUPINFO_PRESENT)) &&
        !((startup.StartupInfo.cb = sizeof startup.StartupInfo) && create(0)))
        return "cannot start " + program + ": " + LastErrorText();
    child->process = Handle(started.hProcess);
    const Handle thread(started.hThread);
    // A batch already in a job that forbids nesting (before Windows 8) runs
    // its converters outside one: they then outlive a batch killed outright.
    if (host->job) AssignProcessToJobObject(host->job.Get(), started.hProcess);
    ResumeThread(started.hThread);
    // One that is over already is reaped by the next wait.
    if (!child->ReadMore()) PostQueuedCompletionStatus(host->port.Get(), 0, child->key, &child->reading);
    running.push_back(std::move(child));
    return {};
}

FinishedChild ChildProcesses::Reap(Child& child) {
    child.output = Handle();
    WaitForSingleObject(child.process.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.process.Get(), &code);
    FinishedChild finished{child.token, static_cast<int>(code), 0, std::move(child.kept)};
    // An exception's code (0xC0000005, 0xC000013A), the like of a signal.
    if (code >= 0xC0000000u && finished.output.empty()) {
        char text[48];
        std::snprintf(text, sizeof text, "ended with status 0x%08lX", static_cast<unsigned long>(code));
        finished.output = text;
    }
    return finished;
}

std::vector<FinishedChild> ChildProcesses::WaitForEnds(int timeoutMilliseconds) {
    std::vector<FinishedChild> finished;
    DWORD wait = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
    while (true) {
        DWORD bytes = 0;
        ULONG_PTR key = wakeupKey;
        OVERLAPPED* done = nullptr;
        const BOOL read = GetQueuedCompletionStatus(host->port.Get(), &bytes, &key, &done, wait);
        // A timeout, or a wake-up by an interruption.
        if (done == nullptr) break;
        wait = 0;
        std::size_t at = 0;
        while (at < running.size() && running[at]->key != key) ++at;
        if (at == running.size()) continue;
        Child& child = *running[at];
        if (read && child.kept.size() < outputKept) child.kept.append(child.buffer, bytes);
        if (read && child.ReadMore()) continue;
        finished.push_back(Reap(child));
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return finished;
}

// Each converter removes its grid and exits 130, as after a Ctrl-Break.
void ChildProcesses::TerminateAll() {
    for (const std::unique_ptr<Child>& child : running) SetEvent(child->stop.Get());
}

}  // namespace platform
