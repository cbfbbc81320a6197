// Where the engine finds its data files. An installed engine keeps its book,
// its bitbases and the bench positions in a data folder at a fixed place
// relative to its own program folder (PREFIX/share/korvan beside
// PREFIX/bin/korvan), so it finds them from whatever working directory a GUI
// starts it in. A relative "Book File" or "Bitbases Path" is looked up in the
// working directory first, as always, and in the data folder only when it is
// not there.
#pragma once

#include <string>

// The data folder of the running program as an absolute path, or "" when the
// program has none (a program run from the build tree).
const std::string& dataDirectory();

// The path to open for `name`: `name` itself when it is empty, absolute or
// exists relative to the working directory; otherwise the same name inside
// `directory` when it exists there (a leading "./" dropped); otherwise `name`.
std::string dataPathIn(const std::string& name, const std::string& directory);

// dataPathIn(name, dataDirectory()).
std::string dataPath(const std::string& name);
