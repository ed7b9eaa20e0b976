#include "persistence/ReportManager.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

class TRecordingViewer : public IReportViewer {
public:
    void ViewReport(const std::string& path) override { Paths.push_back(path); }
    std::vector<std::string> Paths;
};

// Sets an environment variable for the lifetime of a test.
class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : Name(name) {
        if (const char* old = std::getenv(name))
            Old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironment() { Old ? ::setenv(Name, Old->c_str(), 1) : ::unsetenv(Name); }

private:
    const char* Name;
    std::optional<std::string> Old;
};

// Leaves allocations out of the leak check while it lives (in builds with the address sanitizer).
#if defined(__SANITIZE_ADDRESS__)
using TLeakCheckPause = __lsan::ScopedDisabler;
#else
struct TLeakCheckPause {
    ~TLeakCheckPause() {}
};
#endif

std::string LocalText(std::chrono::system_clock::time_point when, const char* format) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

class ReportManagerTest : public ::testing::Test {
protected:
    static std::string ReadAll(const fs::path& path) { return testfs::ReadFile(path); }

    // A report of `design` (in the scratch folder) that shows itself to Viewer.
    std::unique_ptr<TReportManager> NewReport(const std::string& design, bool enabled = true) {
        auto report = std::make_unique<TReportManager>((Folder / design).string());
        report->SetViewer(&Viewer);
        report->SetEnabled(enabled);
        return report;
    }

    // The lines of the report of `design`, enabled, given `events` and written.
    std::vector<std::string> Written(const std::string& design,
                                     const std::function<void(TReportManager&)>& events) {
        const auto report = NewReport(design);
        events(*report);
        report->OutputReportFile();
        return SplitCrLf(ReadAll(Folder / TReportManager::ReportNameFor(design)));
    }

    static std::vector<std::string> SplitCrLf(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
            lines.push_back(text.substr(from, at - from));
        EXPECT_EQ(from, text.size()) << "text after the last line break";
        return lines;
    }

    testfs::TempFolder Scratch;
    const fs::path Folder = Scratch.path;
    // The header's date and times follow the user's locale; tests that do not
    // choose one expect the C conventions.
    const TEnvironment CLocale{"LC_ALL", "C"};
    TRecordingViewer Viewer;
};

TEST_F(ReportManagerTest, CleanTranslationHasHeaderThenFourEmptyLines) {
    const auto report = NewReport("board.dsn");
    report->Start();
    report->AddReportEvent("Layers: 4");
    report->Stop();
    report->OutputReportFile();

    const fs::path rpt = Folder / "board.rpt";
    ASSERT_TRUE(fs::exists(rpt));
    const auto lines = SplitCrLf(ReadAll(rpt));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "QUILLON - NEW ROUTER INTERFACE");
    EXPECT_EQ(lines[1], "Design File : board.dsn");
    // Plain C conventions: month/day/two-digit year and a 24-hour clock.
    EXPECT_EQ(lines[2], "Date        : " + LocalText(std::chrono::system_clock::now(), "%m/%d/%y"));
    EXPECT_EQ(lines[3], "Start Time  : " + LocalText(report->StartTime(), "%H:%M:%S"));
    EXPECT_EQ(lines[4], "End   Time  : " + LocalText(report->StopTime(), "%H:%M:%S"));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
              (std::vector<std::string>{"", "", "", "", "Layers: 4"}));
    EXPECT_EQ(report->ReportPath(), rpt.string());
    EXPECT_EQ(Viewer.Paths, (std::vector<std::string>{rpt.string()}));
    // Readable like any other file the user makes, not owner-only like a temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(rpt).permissions()), 0666 & ~mask);
}

TEST_F(ReportManagerTest, DateAndTimesFollowTheUsersConventions) {
    // Build a German locale in a private folder; without the locale tools the
    // test cannot choose a style other than the C one.
    const fs::path locales = Folder / "locales";
    fs::create_directories(locales);
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0 || !fs::exists(locales / "de_DE.UTF-8")) {
        GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 here";
    }
    TEnvironment path("LOCPATH", locales.string());
    TEnvironment all("LC_ALL", "de_DE.UTF-8");
    const auto report = NewReport("de.dsn");
    report->Start();
    report->Stop();
    {
        // The C library never frees its copy of LOCPATH when it loads a locale from there.
        TLeakCheckPause pause;
        report->OutputReportFile();
    }
    const auto lines = SplitCrLf(ReadAll(Folder / "de.rpt"));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[2], "Date        : " + LocalText(std::chrono::system_clock::now(), "%d.%m.%Y"));
    EXPECT_EQ(lines[3], "Start Time  : " + LocalText(report->StartTime(), "%H:%M:%S"));
}

TEST_F(ReportManagerTest, CountsAndEventsReplaceAnOlderReport) {
    // An older, longer report of the same design is replaced, not appended to.
    std::string old = "an old report that is much longer than the new one will be ....\r\n";
    for (int i = 0; i < 100; ++i)
        old += "old line\r\n";
    testfs::WriteFile(Folder / "errs.rpt", old);
    const auto lines = Written("errs.dsn", [](TReportManager& report) {
        report.Start();
        report.ReportError("Unexpected token <FOO> in line 12");
        report.ReportWarning("Unknown unit token, mils will be used");
        report.ReportError("Integer value expected <12MIL> in line 40.");
        report.AddReportEvent("note");
        report.ReportWarning("y");
        report.ReportError("Floating point value expected <)> in line 41.");
        report.Stop();
        EXPECT_EQ(report.ErrorCount(), 3);
        EXPECT_EQ(report.WarningCount(), 2);
    });
    const std::vector<std::string> tail(lines.begin() + 5, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "", "", "Total errors encountered: 3", "Total warnings encountered: 2", "",
                        "", "ERROR: Unexpected token <FOO> in line 12",
                        "WARNING: Unknown unit token, mils will be used",
                        "ERROR: Integer value expected <12MIL> in line 40.", "note", "WARNING: y",
                        "ERROR: Floating point value expected <)> in line 41."}));
}

TEST_F(ReportManagerTest, DisabledReportsWriteAndShowNothing) {
    const auto report = NewReport("quiet.dsn", false);
    report->ReportError("dropped");
    report->OutputReportFile();
    EXPECT_FALSE(fs::exists(Folder / "quiet.rpt"));
    EXPECT_TRUE(Viewer.Paths.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 0);
}

TEST_F(ReportManagerTest, ReportNameFollowsTheExtensionRule) {
    // "/", "\" and ":" all end a folder; a dot before them starts no extension.
    const std::pair<const char*, const char*> cases[] = {
        {"/work/boards/main.dsn", "/work/boards/main.rpt"},
        {"/work/v1.2/board", "/work/v1.2/board.rpt"},
        {"C:\\v1.2\\board", "C:\\v1.2\\board.rpt"},
        {"a.b.ses", "a.b.rpt"},
        {"board.", "board.rpt"},
        {"/w/a.b\\c", "/w/a.b\\c.rpt"},
        {"d.e:board", "d.e:board.rpt"},
        {"x.y/", "x.y/.rpt"}};
    for (const auto& [design, report] : cases)
        EXPECT_EQ(TReportManager::ReportNameFor(design), report);
}

TEST_F(ReportManagerTest, MissingFolderRaisesNoReportAndLeavesNoTemporaryFile) {
    const auto report = NewReport("gone/x.dsn");
    report->AddReportEvent("e");
    report->OutputReportFile();
    EXPECT_FALSE(fs::exists(Folder / "gone" / "x.rpt"));
    // The temporary file was deleted when it could not be moved.
    EXPECT_FALSE(fs::exists(report->ReportPath()));
}

TEST_F(ReportManagerTest, EndlessEventsStayInBoundedMemoryAndAreCountedInFull) {
    // Stray words in a design give one error each: millions of them keep
    // only the first lines, count all, and say how many are not listed.
    const auto report = NewReport("stray.dsn");
    const std::string line = "Unexpected token <AB> in line 2";
    const std::size_t perLine = line.size() + 7 + TReportManager::kEventOverhead;
    const std::size_t kept = TReportManager::kMaxEventBytes / perLine;
    const int64_t total = static_cast<int64_t>(kept) + 250000;
    for (int64_t i = 0; i < total; ++i)
        report->ReportError(line);
    report->ReportWarning("after the limit");
    // Where the user stopped the reading is said even past the limit.
    report->ReportFinalWarning("Reading aborted by the user in line 9");
    EXPECT_EQ(report->ErrorCount(), total);
    EXPECT_EQ(report->WarningCount(), 2);
    EXPECT_EQ(report->Events().size(), kept);
    EXPECT_EQ(report->OmittedEvents(), total + 1 - static_cast<int64_t>(kept));
    report->OutputReportFile();
    const std::string text = ReadAll(Folder / "stray.rpt");
    EXPECT_LT(text.size(), TReportManager::kMaxEventBytes);
    EXPECT_THAT(text, HasSubstr("Total errors encountered: " + std::to_string(total)));
    const std::string last = "... and " + std::to_string(report->OmittedEvents()) +
                             " more events, not listed: a report lists at most 16 MB of events.\r\n"
                             "WARNING: Reading aborted by the user in line 9\r\n";
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(ReportManagerTest, AKillWhileTheReportIsWrittenLeavesNoTemporaryFile) {
    const TEnvironment tmp("TMPDIR", Folder.string());
    auto temporaries = [&] {
        return std::count_if(fs::directory_iterator(Folder), {}, [](const fs::directory_entry& e) {
            return e.path().filename().string().rfind("dsnlink-", 0) == 0;
        });
    };
    // A temporary file left by a process that no longer runs goes at the
    // next report; one of a running process stays.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const fs::path stale = Folder / ("dsnlink-" + std::to_string(gone) + "-Ab12Cd");
    const fs::path running = Folder / "dsnlink-1-Ab12Cd";
    std::ofstream(stale) << "partial";
    std::ofstream(running) << "partial";
    NewReport("small.dsn")->OutputReportFile();
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running));
    fs::remove(running);

    // A child writes large reports over and over; a SIGTERM or SIGINT lands
    // while one of them is being written.
    for (int sig : {SIGTERM, SIGINT}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const auto report = NewReport("big.dsn");
            for (int i = 0; i < 300000; ++i)
                report->ReportError("Unexpected token <AB> in line " + std::to_string(i));
            for (;;)
                report->OutputReportFile();
        }
        bool writing = false;
        for (int i = 0; i < 20000 && !(writing = temporaries() > 0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(child, sig);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(writing) << "no report was being written";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
        EXPECT_EQ(temporaries(), 0) << "signal " << sig;
    }
}

} // namespace
