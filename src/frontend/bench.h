// The bench: a fixed list of positions searched to a fixed depth with one
// thread, a cleared 16 MB table, no book and no bitbases. It prints the nodes
// of each search and their total; the total ("Nodes searched") is the build's
// signature: a change that alters it changed what the engine searches. The
// bench tool and "korvan bench" (the command engine testers run) share it.
#pragma once

#include <string>

inline constexpr int BENCH_DEPTH = 8;

// The positions file: bench.fen of the installed data folder, or of
// tools/data/ in the source tree.
std::string benchPositionsFile();

// Searches every position of the file (one FEN a line, '#' starts a comment
// line) to the depth and prints the report on standard output. Returns the
// exit status: 0, or 1 when the file cannot be read or holds a bad position.
int benchRun(int depth, const std::string& file);

// The bench's command line, "[DEPTH [POSITIONS_FILE]]" (the arguments after
// the program's name or command word), defaults BENCH_DEPTH and
// benchPositionsFile(). Anything else prints the usage line of `program` on
// standard error and returns 2; otherwise returns benchRun's status.
int benchMain(int count, char** arguments, const char* program);
