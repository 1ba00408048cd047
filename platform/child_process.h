// Converters as child processes, started without a shell, with what they
// print on standard output kept.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct FinishedChild {
    std::size_t token = 0;
    int exitStatus = 0;    // 128 + the signal that ended it, as shells give it
    int endingSignal = 0;  // 0 when it exited by itself
    std::string output;
};

class ChildProcesses {
public:
#ifdef _WIN32
    ChildProcesses();
#else
    ChildProcesses() = default;
#endif
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;
    // Waits for every child still running.
    ~ChildProcesses();

    // Empty on success, else why not. Standard input is /dev/null, standard
    // error the batch's own; `token` comes back with the child's end. The
    // child starts in `folder`, a held folder (a descriptor, on Windows a
    // HANDLE), unless it is -1.
#ifdef _WIN32
    std::string Start(const std::string& program, const std::vector<std::string>& arguments,
                      std::size_t token, void* folder = reinterpret_cast<void*>(-1));
#else
    std::string Start(const std::string& program, const std::vector<std::string>& arguments,
                      std::size_t token, int folder = -1);
#endif

    // The children that ended, once one has, an interrupt signal came or
    // `timeoutMilliseconds` passed (negative: no limit).
    std::vector<FinishedChild> WaitForEnds(int timeoutMilliseconds);

    void TerminateAll();
    std::size_t Running() const { return running.size(); }

private:
#ifdef _WIN32
    struct Child;
    struct Host;
    FinishedChild Reap(Child& child);
    std::vector<std::unique_ptr<Child>> running;
    std::unique_ptr<Host> host;
#else
    struct Child {
        int processId;
        int outputDescriptor;
        std::size_t token;
        std::string output;
    };
    FinishedChild Reap(Child& child);
    std::vector<Child> running;
#endif
};

}  // namespace platform
