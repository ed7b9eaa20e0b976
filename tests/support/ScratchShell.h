// Running harrow from tests: a scratch folder per test, commands run with no
// terminal (standard input from /dev/null), their exit code and both outputs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testshell {

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
    int ErrLines() const {
        int lines = 0;
        for (char c : err)
            lines += c == '\n';
        return lines;
    }
};

// A fixture with a fresh scratch folder, removed afterwards.
class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dsnlink-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + Quote(folder)).c_str()); }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Runs `program arguments` inside the scratch folder.
    Outcome Run(const std::string& program, const std::string& arguments) {
        std::string command = "cd " + Quote(folder) + " && " + Quote(program) + " " + arguments +
                              " </dev/null >" + Quote(folder + "/.out") + " 2>" +
                              Quote(folder + "/.err");
        int status = std::system(command.c_str());
        Outcome run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Read(folder + "/.out");
        run.err = Read(folder + "/.err");
        return run;
    }

    // Runs the build's harrow inside the scratch folder.
    Outcome Harrow(const std::string& arguments) {
        return Run(std::string(DSNLINK_BIN_DIR) + "/harrow", arguments);
    }

    std::string folder;
};

} // namespace testshell
