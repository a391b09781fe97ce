#pragma once

// For tests that run other programs: a shell command line with its exit code and
// everything it printed (standard error joined to standard output).
#include <sys/wait.h>

#include <cstdio>
#include <string>

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
