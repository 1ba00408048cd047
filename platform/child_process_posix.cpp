#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/interrupt_watch.h"

extern char** environ;

namespace platform {

namespace {

// A converter prints a line or two; more is kept only this far.
constexpr std::size_t outputKept = 64 * 1024;

struct SpawnSettings {
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

std::string ErrorText(int error) { return std::strerror(error); }

}  // namespace

ChildProcesses::~ChildProcesses() {
    for (Child& child : running) Reap(child);
}

std::string ChildProcesses::Start(const std::string& program, const std::vector<std::string>& arguments,
                                  std::size_t token, int folder) {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return "cannot make a pipe: " + ErrorText(errno);
    SpawnSettings settings;
    posix_spawn_file_actions_addopen(&settings.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&settings.actions, output[1], STDOUT_FILENO);
    if (folder >= 0) posix_spawn_file_actions_addfchdir_np(&settings.actions, folder);
    // The converter starts as a fresh program would: nothing blocked (the
    // batch holds back its interrupts while it works), nothing ignored that
    // the batch ignores for itself.
    sigset_t nothing;
    sigemptyset(&nothing);
    posix_spawnattr_setsigmask(&settings.attributes, &nothing);
    posix_spawnattr_setsigdefault(&settings.attributes, &SignalsToDefault());
    posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t processId = 0;
    const int error =
        posix_spawn(&processId, program.c_str(), &settings.actions, &settings.attributes, argv.data(), environ);
    close(output[1]);
    if (error != 0) {
        close(output[0]);
        return "cannot start " + program + ": " + ErrorText(error);
    }
    running.push_back({processId, output[0], token, {}});
    return {};
}

FinishedChild ChildProcesses::Reap(Child& child) {
    close(child.outputDescriptor);
    int status = 0;
    while (waitpid(child.processId, &status, 0) < 0 && errno == EINTR) {
    }
    FinishedChild finished{child.token, 0, 0, std::move(child.output)};
    if (WIFSIGNALED(status)) {
        finished.endingSignal = WTERMSIG(status);
        finished.exitStatus = 128 + finished.endingSignal;
    } else {
        finished.exitStatus = WEXITSTATUS(status);
    }
    return finished;
}

// A child is over when its output ends: it has closed it by exiting.
std::vector<FinishedChild> ChildProcesses::WaitForEnds(int timeoutMilliseconds) {
    std::vector<pollfd> descriptors;
    for (const Child& child : running) descriptors.push_back({child.outputDescriptor, POLLIN, 0});
    timespec timeout{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000000L};
    const int ready = ppoll(descriptors.data(), descriptors.size(), timeoutMilliseconds < 0 ? nullptr : &timeout,
                            &WaitMask());
    std::vector<FinishedChild> finished;
    if (ready <= 0) return finished;
    std::vector<Child> stillRunning;
    for (std::size_t at = 0; at < running.size(); ++at) {
        Child& child = running[at];
        bool ended = false;
        if (descriptors[at].revents != 0) {
            char buffer[4096];
            const ssize_t count = read(child.outputDescriptor, buffer, sizeof buffer);
            if (count > 0 && child.output.size() < outputKept)
                child.output.append(buffer, static_cast<std::size_t>(count));
            ended = count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN);
        }
        if (ended)
            finished.push_back(Reap(child));
        else
            stillRunning.push_back(std::move(child));
    }
    running = std::move(stillRunning);
    return finished;
}

void ChildProcesses::TerminateAll() {
    for (const Child& child : running) kill(child.processId, SIGTERM);
}

}  // namespace platform
