// The bench signature is the engine's behaviour in one number: these tests
// fail when a change alters what the engine searches, so that such a change is
// made on purpose (with the new numbers written here and in the README).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

// "Nodes searched" of korvan-bench at depth 5.
constexpr const char* SIGNATURE_AT_DEPTH_5 = "2493392";

// What the command prints on standard output; *status gets its exit status.
std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int code = pclose(pipe);
    if (status) *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    return output;
}

std::string bench(const std::string& arguments) {
    return run(std::string(KORVAN_BUILD_DIR) + "/tools/korvan-bench " + arguments);
}

// The engine's own "bench" command, as engine testers run it.
std::string engineBench(const std::string& arguments) {
    return run(std::string(KORVAN_BINARY) + " bench " + arguments);
}

// The number after "Nodes searched" in a text, or an empty text.
std::string signatureOf(const std::string& text) {
    std::smatch match;
    static const std::regex pattern("Nodes searched\\s*:?\\s*\\**\\s*([0-9]+)");
    return std::regex_search(text, match, pattern) ? match[1].str() : "";
}

// Everything but the timing lines.
std::string withoutTimes(const std::string& output) {
    std::istringstream in(output);
    std::string result;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Total time", 0) != 0 && line.rfind("Nodes/second", 0) != 0)
            result += line + "\n";
    return result;
}

TEST(Bench, SignatureAtDepthFiveIsTheOneWrittenHere) {
    std::string first = bench("5"), second = bench("5");
    EXPECT_EQ(signatureOf(first), SIGNATURE_AT_DEPTH_5) << first;
    // Every position searches the same tree on every run.
    EXPECT_EQ(withoutTimes(first), withoutTimes(second));
    // The engine's command runs the same bench.
    EXPECT_EQ(withoutTimes(engineBench("5")), withoutTimes(first));
}

TEST(Bench, EngineCommandLine) {
    struct {
        const char* arguments;
        int status;
        const char* printed;  // on standard output, or on standard error when it fails
    } cases[] = {
        {"--version", 0, "Korvan 1.3b RX\n"},
        {"--help", 0, "usage: korvan [bench"},
        {"--bogus", 2, "korvan: unknown argument '--bogus'\nusage: korvan"},
        {"--version extra", 2, "unknown argument 'extra'"},
        {"bench 0", 2, "usage: korvan bench [DEPTH"},
        {"bench 3 /nonexistent.fen", 2, "usage: korvan bench"},
    };
    for (const auto& c : cases) {
        int status = -1;
        std::string out =
            run(std::string(KORVAN_BINARY) + " " + c.arguments + " 2>&1 </dev/null", &status);
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_NE(out.find(c.printed), std::string::npos) << c.arguments << ": " << out;
    }
}

TEST(Bench, TheReadmeStatesTheSignatureOfTheDefaultDepth) {
#ifdef KORVAN_SANITIZED
    GTEST_SKIP() << "the full bench takes minutes under the sanitizers";
#endif
    std::ifstream readme(KORVAN_SOURCE_DIR "/README.md");
    std::stringstream text;
    text << readme.rdbuf();
    std::string stated = signatureOf(text.str());
    ASSERT_FALSE(stated.empty()) << "README.md states no \"Nodes searched\"";
    // "korvan bench" at its default depth, whose last lines engine testers read.
    std::string output = engineBench("");
    EXPECT_EQ(signatureOf(output), stated) << output;
    EXPECT_NE(output.find("\nNodes/second: "), std::string::npos) << output;
}

}  // namespace
