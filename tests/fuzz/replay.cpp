// Replays protocol sessions (files, or every file of a directory) through the
// fuzzer's harness: the corpus as a regression test. Each session must end
// within a time bound; the harness aborts on any broken invariant.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/harness.h"

namespace {

// Seconds one session may take (sanitizer builds run several times slower).
constexpr unsigned kSessionLimit = 60;
const char* current = "";

void timedOut(int) {
    // Only async-signal-safe calls here.
    const char text[] = "\nsession took too long: ";
    (void)!write(2, text, sizeof text - 1);
    (void)!write(2, current, strlen(current));
    (void)!write(2, "\n", 1);
    _exit(1);
}

void collect(const std::string& path, std::vector<std::string>* files) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) collect(argv[i], &files);
    if (files.empty()) {
        fprintf(stderr, "no sessions to replay\n");
        return 1;
    }
    signal(SIGALRM, timedOut);
    // KORVAN_FUZZ_VERBOSE: the engine's warnings and each session's output too.
    bool verbose = getenv("KORVAN_FUZZ_VERBOSE") != nullptr;
    fuzzStartup(FuzzSettings{}, verbose);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string session = text.str();
        current = file.c_str();
        auto start = std::chrono::steady_clock::now();
        alarm(kSessionLimit);
        fuzzSession(reinterpret_cast<const uint8_t*>(session.data()), session.size());
        alarm(0);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        if (verbose) printf("%s", fuzzLastOutput().c_str());
        printf("ok %6lld ms  %s\n", static_cast<long long>(ms), file.c_str());
        fflush(stdout);
    }
    fuzzShutdown();
    printf("%zu sessions replayed\n", files.size());
    return 0;
}
