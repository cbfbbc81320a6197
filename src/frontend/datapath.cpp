#include "frontend/datapath.h"

#include <glib.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string_view>

// The data folder relative to the program's folder, set by the build from the
// installation layout.
#ifndef KORVAN_DATA_FROM_BINARY
#define KORVAN_DATA_FROM_BINARY "../share/korvan"
#endif

namespace {

bool exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

std::string findDataDirectory() {
    gchar* program = g_file_read_link("/proc/self/exe", nullptr);
    if (!program) return "";
    gchar* folder = g_path_get_dirname(program);
    gchar* candidate = g_build_filename(folder, KORVAN_DATA_FROM_BINARY, nullptr);
    char resolved[PATH_MAX];
    std::string directory;
    struct stat status;
    if (realpath(candidate, resolved) && stat(resolved, &status) == 0 && S_ISDIR(status.st_mode))
        directory = resolved;
    g_free(candidate);
    g_free(folder);
    g_free(program);
    return directory;
}

}  // namespace

const std::string& dataDirectory() {
    static const std::string directory = findDataDirectory();
    return directory;
}

std::string dataPathIn(const std::string& name, const std::string& directory) {
    if (name.empty() || name.front() == '/' || directory.empty() || exists(name)) return name;
    std::string_view relative = name;
    while (relative.starts_with("./")) {
        relative.remove_prefix(2);
        while (relative.starts_with("/")) relative.remove_prefix(1);
    }
    std::string candidate = directory + "/" + std::string(relative);
    return exists(candidate) ? candidate : name;
}

std::string dataPath(const std::string& name) { return dataPathIn(name, dataDirectory()); }
