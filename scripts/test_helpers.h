#pragma once

// Helpers the test suites share.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs the action in a child process as the user "nobody" when the tests run as
// root, so that the permissions of folders and files apply to it as to an ordinary
// user; returns the message of the EMarksError it raised, "(no error)", or a note
// of how the child failed.
inline std::string ErrorTextAsOrdinaryUser(const std::function<void()>& action)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "(no pipe)";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        std::string text;
        try {
            text = ErrorText(action);
        } catch (...) {
            text = "(other exception)";
        }
        ssize_t written = ::write(channel[1], text.data(), text.size());
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(child failed: " + std::to_string(status) + ")";
    return text;
}
