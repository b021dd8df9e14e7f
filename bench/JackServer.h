// A private JACK server (dummy backend) for a benchmark run, with the period and sample rate
// that give its time stamps their grain. The environment points JACK clients at it; the server
// stops when the object goes.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace tw {

// A private JACK server for the run.
class JackServer {
public:
    JackServer(const std::string &prefix, unsigned period, unsigned sampleRate)
        : prefix(prefix), period(period), sampleRate(sampleRate) {}
    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    // Starts the server, realtime or not; true once it answers.
    bool start(bool realtime) {
        name = prefix + "-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        const std::string p = std::to_string(period), r = std::to_string(sampleRate);
        std::vector<std::string> args = {"jackd", "-n", name};
        if (!realtime)
            args.push_back("-r");
        for (const char *a : {"-d", "dummy", "-r"})
            args.push_back(a);
        args.push_back(r);
        args.push_back("-p");
        args.push_back(p);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int failed = posix_spawnp(&pid, "jackd", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed)
            return false;
        for (int i = 0; i < 200; ++i) { // up to 10 s
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = 0;
                return false;
            }
            if (std::system("jack_lsp >/dev/null 2>&1") == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~JackServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    std::string prefix;
    unsigned period, sampleRate;
    std::string name;
    pid_t pid = 0;
};

} // namespace tw
