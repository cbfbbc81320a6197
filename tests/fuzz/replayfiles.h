// What the two corpus replay tools share: the list of input files and the
// time bound of each input.
#pragma once

#include <string>
#include <vector>

// Adds `path` to `files`, or, for a directory, every file in it (sorted,
// hidden files skipped). Ends the process when `path` cannot be read.
void replayCollect(const std::string& path, std::vector<std::string>* files);

// The whole file as bytes.
std::string replayRead(const std::string& file);

// Ends the process with "`what` took too long: FILE" unless replayInputDone
// is called within `seconds`.
void replayInputStart(const char* what, const std::string& file, unsigned seconds);
void replayInputDone();
