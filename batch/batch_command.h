// The whole of cellport-batch, apart from where its arguments come from.
#pragma once

#include <string>
#include <vector>

// From the arguments (the program's name first, UTF-8 on Windows) to the
// exit status.
int RunBatchCommand(const std::vector<std::string>& arguments);
