#pragma once

// Helpers the test suites share.
#include <sys/wait.h>

#include <cstdio>
#include <functional>
#include <string>

#include "marks_error.h"

// The message of the EMarksError the action raises, or "(no error)".
inline std::string ErrorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EMarksError& e) {
        return e.what();
    }
    return "(no error)";
}

// A shell command line's exit code and everything it printed (standard error joined
// to standard output), for tests that run other programs.
struct TCommandResult {
    int Code = -1;
    std::string Output;
};

inline TCommandResult RunCommandLine(const std::string& command)
{
    TCommandResult r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.Output.append(buffer, n);
    int status = pclose(pipe);
    r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
