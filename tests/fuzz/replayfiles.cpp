#include "fuzz/replayfiles.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char* currentWhat = "";
const char* currentFile = "";

void timedOut(int) {
    // Only async-signal-safe calls here.
    (void)!write(2, "\n", 1);
    (void)!write(2, currentWhat, strlen(currentWhat));
    const char text[] = " took too long: ";
    (void)!write(2, text, sizeof text - 1);
    (void)!write(2, currentFile, strlen(currentFile));
    (void)!write(2, "\n", 1);
    _exit(1);
}

void shutdownTimedOut(int) {
    const char text[] =
        "\nshutdown took too long (every input had passed: releasing the engine or the "
        "leak check at exit was slow)\n";
    (void)!write(2, text, sizeof text - 1);
    _exit(1);
}

}  // namespace

void replayCollect(const std::string& path, std::vector<std::string>* files) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        exit(1);
    }
    if (!S_ISDIR(status.st_mode)) {
        files->push_back(path);
        return;
    }
    std::vector<std::string> found;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') found.push_back(path + "/" + entry->d_name);
        closedir(dir);
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
}

std::string replayRead(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

unsigned replayLimit(unsigned standard) {
    const char* text = getenv("KORVAN_REPLAY_LIMIT");
    unsigned long seconds = text ? strtoul(text, nullptr, 10) : 0;
    return seconds > 0 ? static_cast<unsigned>(seconds) : standard;
}

void replayInputStart(const char* what, const std::string& file, unsigned seconds) {
    currentWhat = what;
    currentFile = file.c_str();
    signal(SIGALRM, timedOut);
    alarm(seconds);
}

void replayInputDone() { alarm(0); }

void replayShutdownStart(unsigned seconds) {
    signal(SIGALRM, shutdownTimedOut);
    alarm(seconds);
}
