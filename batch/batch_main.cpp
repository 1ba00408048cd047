#include "batch/batch_command.h"

#ifdef _WIN32
#include "platform/program_windows.h"
#endif

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // Names as they are, not as the ANSI code page shows them.
    (void)argc;
    (void)argv;
    return RunBatchCommand(platform::Utf8Arguments());
#else
    return RunBatchCommand({argv, argv + argc});
#endif
}
