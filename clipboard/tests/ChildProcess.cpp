#include "ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace tw {

ChildProcess::ChildProcess(const std::vector<std::string> &argv,
                           const std::vector<std::string> &unset,
                           const std::vector<std::string> &set) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (std::find(unset.begin(), unset.end(), name) == unset.end())
            env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

ChildProcess::~ChildProcess() {
    finish(std::chrono::milliseconds(0));
    if (input_ >= 0)
        close(input_);
    if (output_ >= 0)
        close(output_);
}

bool ChildProcess::send(const std::string &text) {
    size_t done = 0;
    while (input_ >= 0 && done < text.size()) {
        ssize_t n = write(input_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return input_ >= 0;
}

void ChildProcess::closeInput() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

bool ChildProcess::fill(std::chrono::steady_clock::time_point deadline) {
    if (ended_ || output_ < 0)
        return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd = {output_, POLLIN, 0};
    if (poll(&fd, 1, int(std::max<long long>(0, left.count()))) <= 0)
        return false;
    char buffer[65536];
    ssize_t n = read(output_, buffer, sizeof buffer);
    if (n <= 0) {
        ended_ = true;
        return false;
    }
    buffered_.append(buffer, size_t(n));
    return true;
}

bool ChildProcess::readLine(std::string &line, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return true;
        }
        if (!fill(deadline))
            return false;
    }
}

bool ChildProcess::readAll(std::string &out, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fill(deadline)) {
    }
    out.swap(buffered_);
    buffered_.clear();
    return ended_;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0)
        kill(pid_, number);
}

int ChildProcess::finish(std::chrono::milliseconds timeout) {
    if (pid_ <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

std::string runProgram(const std::vector<std::string> &argv, int &status,
                       std::chrono::milliseconds timeout) {
    ChildProcess child(argv);
    child.closeInput();
    std::string out;
    bool ended = child.readAll(out, timeout);
    status = child.finish(ended ? timeout : std::chrono::milliseconds(0));
    return out;
}

std::string siblingProgram(const std::string &name) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, size_t(n)) : std::string("./x");
    return path.substr(0, path.rfind('/') + 1) + name;
}

} // namespace tw
