// Runs a program to its end and collects its exit status, standard output and standard error.
#pragma once

#include <string>
#include <vector>

namespace twinspotter::test {

struct ProgramResult
{
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs \p argv with standard input from /dev/null (or \p input when given), never through a shell.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string* input = nullptr);

} // namespace twinspotter::test
