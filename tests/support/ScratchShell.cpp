#include "support/ScratchShell.h"

#include "support/TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testshell {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Read(const std::string& path) { return testfs::ReadFile(path); }

int Outcome::ErrLines() const {
    int lines = 0;
    for (char c : err)
        lines += c == '\n';
    return lines;
}

void ScratchFolderTest::SetUp() {
    char pattern[] = "/tmp/dsnlink-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
}

void ScratchFolderTest::TearDown() { std::system(("rm -rf " + Quote(folder)).c_str()); }

std::string ScratchFolderTest::Write(const std::string& name, const std::string& text) {
    std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

Outcome ScratchFolderTest::Run(const std::string& program, const std::string& arguments,
                               const std::string& prefix) {
    const std::string command = "cd " + Quote(folder) + " && " + prefix + Quote(program) + " " +
                                arguments + " </dev/null >" + Quote(folder + "/.out") + " 2>" +
                                Quote(folder + "/.err");
    const int status = std::system(command.c_str());
    Outcome run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Read(folder + "/.out");
    run.err = Read(folder + "/.err");
    return run;
}

Outcome ScratchFolderTest::Harrow(const std::string& arguments, const std::string& prefix) {
    return Run(std::string(DSNLINK_BIN_DIR) + "/harrow", arguments, prefix);
}

} // namespace testshell
