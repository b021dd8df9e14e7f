// A program started for a test, with its standard input and output on pipes. It is killed and
// reaped on every path, also when a test fails half-way.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tw {

class ChildProcess {
public:
    // Starts argv[0] (searched on PATH); the names in `unset` are removed from its environment,
    // entries "NAME=value" in `set` are added. Its standard error goes to /dev/null.
    explicit ChildProcess(const std::vector<std::string> &argv,
                          const std::vector<std::string> &unset = {},
                          const std::vector<std::string> &set = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    bool send(const std::string &text);
    void closeInput();
    // One line of output without its newline; false at the end of output or after `timeout`.
    bool readLine(std::string &line, std::chrono::milliseconds timeout);
    // All output up to its end; false when it did not end within `timeout`.
    bool readAll(std::string &out, std::chrono::milliseconds timeout);
    // The exit status, or -1 when the program had to be killed after `timeout`.
    int finish(std::chrono::milliseconds timeout);
    void signal(int number);

private:
    bool fill(std::chrono::steady_clock::time_point deadline); // reads more output
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
    bool ended_ = false;
    std::string buffered_;
};

// The path of a program built into the same folder as the running one.
std::string siblingProgram(const std::string &name);

// Runs a program to its end and returns its output; `status` gets the exit status or -1.
std::string runProgram(const std::vector<std::string> &argv, int &status,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace tw
