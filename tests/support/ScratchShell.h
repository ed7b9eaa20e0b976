// Running harrow from tests: a scratch folder per test, commands run with no
// terminal (standard input from /dev/null), their exit code and both outputs.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testshell {

// `text` as one word of the shell.
std::string Quote(const std::string& text);
// A whole file's bytes ("" when it cannot be read).
std::string Read(const std::string& path);

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
    int ErrLines() const;
};

// A fixture with a fresh scratch folder, removed afterwards.
class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Write(const std::string& name, const std::string& text);
    // Runs `prefix program arguments` inside the scratch folder; `prefix` holds
    // shell words before the program (variables, ulimit ... &&).
    Outcome Run(const std::string& program, const std::string& arguments,
                const std::string& prefix = std::string());
    // Runs the build's harrow inside the scratch folder.
    Outcome Harrow(const std::string& arguments, const std::string& prefix = std::string());

    std::string folder;
};

} // namespace testshell
