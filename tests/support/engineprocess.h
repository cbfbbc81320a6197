// Drives the real korvan binary over pipes, as a GUI does.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class EngineProcess {
  public:
    // Starts the engine with the given working directory (the build directory
    // when empty). Standard error goes to a file that stderrText() reads.
    // A wrapper (for example a tracer and its arguments) runs the engine when given.
    explicit EngineProcess(const std::string& workingDirectory = "",
                           const std::vector<std::string>& wrapper = {});
    // Starts any program the same way: `command` is its name (looked up in
    // PATH) and arguments; `environment` adds or replaces variables ("NAME=value").
    EngineProcess(const std::vector<std::string>& command, const std::string& workingDirectory,
                  const std::vector<std::string>& environment);
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Writes the text and a line end (raw bytes: the text may hold anything).
    void send(const std::string& line);
    void sendRaw(const std::string& bytes);
    // Closes the engine's standard input (end of input).
    void closeInput();

    // The next line of output without its line end; false on timeout or end of output.
    bool readLine(std::string* line, int timeoutMs);
    // Reads lines until one starts with the prefix; returns every line read,
    // that one included. Fails the test on timeout.
    std::vector<std::string> readUntil(const std::string& prefix, int timeoutMs = 10000);
    // All output until the engine closes it (or the timeout passes).
    std::vector<std::string> readAll(int timeoutMs = 10000);

    // Waits for the process to end; returns its exit status, or -1 when it did
    // not end in time (it is then killed) or ended by a signal.
    int wait(int timeoutMs = 10000);
    std::string stderrText() const;
    pid_t pid() const { return pid_; }
    // Threads of the running process (-1 when it cannot be read).
    int threadCount() const;
    // The thread count once it reaches `expected`, or as it is after the
    // timeout (a thread that ended may linger in the list for a moment).
    int threadCountReaching(int expected, int timeoutMs = 3000) const;

  private:
    void start(const std::vector<std::string>& command, const std::string& workingDirectory,
               const std::vector<std::string>& environment);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string stderrPath_;
    std::string buffer_;
    bool outputClosed_ = false;
    bool reaped_ = false;
    int status_ = -1;
};

// Lines of the vector that start with the prefix.
std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix);
