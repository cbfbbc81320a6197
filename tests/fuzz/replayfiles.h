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

// Seconds an input may take: `standard`, or KORVAN_REPLAY_LIMIT when set (a
// small limit shows which input is slow).
unsigned replayLimit(unsigned standard);

// Ends the process with "`what` took too long: FILE" unless replayInputDone
// is called within `seconds`.
void replayInputStart(const char* what, const std::string& file, unsigned seconds);
void replayInputDone();

// Bounds what follows the last input (releasing the engine, and the leak
// check of sanitizer builds at exit): ends the process with "shutdown took too
// long" after `seconds`. Stays armed until the process ends.
void replayShutdownStart(unsigned seconds);
