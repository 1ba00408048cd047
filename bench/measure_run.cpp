// Runs one command and prints its wall time in seconds, its peak resident
// memory in KiB and its processor time (user and system) in seconds on
// standard output. The command's own output goes to standard
// error, so that it cannot be taken for the figures.
//
//   measure_run COMMAND [ARGUMENT...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

struct Outcome {
    int status = 0;
    double seconds = 0;
    long peakKib = 0;
    double processorSeconds = 0;
};

double Seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

bool RunChild(char** command, Outcome& outcome) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }
    struct rusage usage {};
    pid_t waited;
    do {
        waited = wait4(child, &outcome.status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const auto end = std::chrono::steady_clock::now();
    if (waited != child) return false;
    outcome.seconds = std::chrono::duration<double>(end - start).count();
    outcome.peakKib = usage.ru_maxrss;  // Linux reports it in KiB
    outcome.processorSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure_run COMMAND [ARGUMENT...]\n");
        return 2;
    }
    Outcome outcome;
    if (!RunChild(argv + 1, outcome)) {
        std::perror("measure_run");
        return 2;
    }
    if (!WIFEXITED(outcome.status) || WEXITSTATUS(outcome.status) != 0) {
        std::fprintf(stderr, "measure_run: %s failed\n", argv[1]);
        return 1;
    }
    std::printf("%.6f %ld %.6f\n", outcome.seconds, outcome.peakKib, outcome.processorSeconds);
    return 0;
}
