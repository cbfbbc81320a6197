// The bench signature must not depend on anything but the code: two runs of
// the bench tool give the same node counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

// Everything but the timing lines.
std::string signatureLines(const std::string& output) {
    std::string result;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (line.rfind("Total time", 0) != 0 && line.rfind("Nodes/second", 0) != 0)
            result += line + "\n";
        start = end + 1;
    }
    return result;
}

TEST(Bench, SignatureIsTheSameOnEveryRun) {
    std::string command = std::string(KORVAN_BUILD_DIR) + "/tools/korvan-bench 5";
    std::string first = run(command), second = run(command);
    ASSERT_NE(first.find("Nodes searched  : "), std::string::npos) << first;
    EXPECT_EQ(signatureLines(first), signatureLines(second));
}

}  // namespace
