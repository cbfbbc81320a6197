#include "support/engineprocess.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

EngineProcess::EngineProcess(const std::string& workingDirectory,
                             const std::vector<std::string>& wrapper) {
    std::vector<std::string> command = wrapper;
    command.resize(wrapper.size() + 1);
    command.back() = KORVAN_BINARY;
    start(command, workingDirectory.empty() ? KORVAN_BUILD_DIR : workingDirectory, {});
}

EngineProcess::EngineProcess(const std::vector<std::string>& command,
                             const std::string& workingDirectory,
                             const std::vector<std::string>& environment) {
    start(command, workingDirectory, environment);
}

void EngineProcess::start(const std::vector<std::string>& command,
                          const std::string& workingDirectory,
                          const std::vector<std::string>& environment) {
    signal(SIGPIPE, SIG_IGN);
    char pattern[] = "/tmp/korvan-stderr-XXXXXX";
    int errorFile = mkstemp(pattern);
    stderrPath_ = pattern;
    int toEngine[2], fromEngine[2];
    if (pipe(toEngine) != 0 || pipe(fromEngine) != 0) abort();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(toEngine[0], 0);
        dup2(fromEngine[1], 1);
        dup2(errorFile, 2);
        close(toEngine[1]);
        close(fromEngine[0]);
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        for (const auto& setting : environment) putenv(const_cast<char*>(setting.c_str()));
        std::vector<char*> argv;
        for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(errorFile);
    close(toEngine[0]);
    close(fromEngine[1]);
    input_ = toEngine[1];
    output_ = fromEngine[0];
}

EngineProcess::~EngineProcess() {
    if (input_ >= 0) close(input_);
    if (!reaped_) {
        // Give the engine the chance to quit on end of input, then make sure.
        if (wait(5000) < 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (output_ >= 0) close(output_);
    unlink(stderrPath_.c_str());
}

void EngineProcess::send(const std::string& line) { sendRaw(line + "\n"); }

void EngineProcess::sendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(input_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ADD_FAILURE() << "cannot write to the engine";
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void EngineProcess::closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

bool EngineProcess::readLine(std::string* line, int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            *line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        if (outputClosed_) return false;
        int64_t left = deadline - nowMs();
        if (left <= 0) return false;
        pollfd fd{output_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[65536];
        ssize_t n = read(output_, chunk, sizeof chunk);
        if (n <= 0) {
            outputClosed_ = true;
            continue;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

std::vector<std::string> EngineProcess::readUntil(const std::string& prefix, int timeoutMs) {
    std::vector<std::string> lines;
    int64_t deadline = nowMs() + timeoutMs;
    std::string line;
    while (readLine(&line, static_cast<int>(std::max<int64_t>(0, deadline - nowMs())))) {
        lines.push_back(line);
        if (line.rfind(prefix, 0) == 0) return lines;
    }
    std::ostringstream seen;
    for (const auto& l : lines) seen << "  " << l.substr(0, 200) << "\n";
    ADD_FAILURE() << "no line starting with \"" << prefix << "\" within " << timeoutMs
                  << " ms; read:\n"
                  << seen.str() << "stderr:\n"
                  << stderrText().substr(0, 2000);
    return lines;
}

std::vector<std::string> EngineProcess::readAll(int timeoutMs) {
    std::vector<std::string> lines;
    int64_t deadline = nowMs() + timeoutMs;
    std::string line;
    while (readLine(&line, static_cast<int>(std::max<int64_t>(0, deadline - nowMs()))))
        lines.push_back(line);
    return lines;
}

int EngineProcess::wait(int timeoutMs) {
    if (reaped_) return status_;
    int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return status_;
        }
        if (nowMs() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            reaped_ = true;
            status_ = -1;
            return -1;
        }
        usleep(2000);
    }
}

int EngineProcess::threadCount() const {
    DIR* dir = opendir(("/proc/" + std::to_string(pid_) + "/task").c_str());
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') count++;
    closedir(dir);
    return count;
}

int EngineProcess::threadCountReaching(int expected, int timeoutMs) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int count = threadCount();
    while (count != expected && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        count = threadCount();
    }
    return count;
}

std::string EngineProcess::stderrText() const {
    std::ifstream in(stderrPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0) result.push_back(line);
    return result;
}
