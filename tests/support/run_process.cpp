#include "support/run_process.h"

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& workingFolder) {
    StartedProcess process = StartProcess(arguments, {environment, workingFolder});
    return FinishProcess(process);
}
