#include "persistence/ReportManager.h"

#include "sdk/FileNames.h"
#include "sdk/TemporaryFiles.h"
#include "specctra/SpecctraWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <locale.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// The time conventions the user chose through the environment (LC_ALL,
// LC_TIME, LANG); the plain C ones when they name no installed locale.
class TUserTimeStyle {
public:
    TUserTimeStyle() : FLocale(::newlocale(LC_TIME_MASK, "", locale_t{})) {}
    ~TUserTimeStyle() {
        if (FLocale != locale_t{}) {
            ::freelocale(FLocale);
        }
    }
    TUserTimeStyle(const TUserTimeStyle&) = delete;
    TUserTimeStyle& operator=(const TUserTimeStyle&) = delete;

    // The local date or time of `when` in the strftime format.
    std::string Format(TReportManager::TDateTime when, const char* format) const {
        const std::time_t t = std::chrono::system_clock::to_time_t(when);
        std::tm local{};
        localtime_r(&t, &local);
        char text[256];
        const std::size_t n = FLocale != locale_t{}
                                  ? ::strftime_l(text, sizeof text, format, &local, FLocale)
                                  : std::strftime(text, sizeof text, format, &local);
        return std::string(text, n);
    }

private:
    locale_t FLocale;
};

// Moves a file, copying it when the two paths lie on different file systems.
bool MoveFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        std::filesystem::remove(to, ec);
        return false;
    }
    std::filesystem::remove(from, ec);
    return true;
}

} // namespace

TReportManager::TReportManager(const std::string& baseFileName) : FBaseFileName(baseFileName) {}

TReportManager::~TReportManager() {
    if (FReportFile != nullptr) {
        std::fclose(FReportFile);
        std::remove(FReportPath.c_str());
    }
}

void TReportManager::Start() {
    FStartTime = std::chrono::system_clock::now();
}

void TReportManager::Stop() {
    FStopTime = std::chrono::system_clock::now();
}

void TReportManager::Finish(bool failing) noexcept {
    Stop();
    if (failing)
        return;
    try {
        OutputReportFile();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

void TReportManager::Keep(std::string_view mark, std::string_view text) {
    const std::size_t cost = mark.size() + text.size() + kEventOverhead;
    if (FOmittedEvents > 0 || FEventBytes + cost > kMaxEventBytes) {
        ++FOmittedEvents;
        return;
    }
    FEventBytes += cost;
    FEventText.append(mark).append(text);
    FEventEnds.push_back(FEventText.size());
}

const std::vector<std::string>& TReportManager::Events() const {
    if (FEventLines.size() != FEventEnds.size()) {
        FEventLines.clear();
        std::size_t start = 0;
        for (const std::size_t end : FEventEnds) {
            FEventLines.emplace_back(FEventText, start, end - start);
            start = end;
        }
    }
    return FEventLines;
}

void TReportManager::AddReportEvent(const std::string& text) {
    Keep({}, text);
}

void TReportManager::ReportError(const std::string& text) {
    ++FErrorCount;
    Keep("ERROR: ", text);
}

void TReportManager::ReportWarning(const std::string& text) {
    ++FWarningCount;
    Keep("WARNING: ", text);
}

void TReportManager::ReportFinalWarning(const std::string& text) {
    if (FOmittedEvents == 0) {
        ReportWarning(text);
        return;
    }
    ++FWarningCount;
    FLateFinalLines.push_back("WARNING: " + text);
}

std::string TReportManager::ReportNameFor(const std::string& baseFileName) {
    return HostSdk::ChangeFileExt(baseFileName, "rpt");
}

std::vector<std::string> TReportManager::HeaderLines() const {
    std::vector<std::string> lines;
    lines.push_back("QUILLON - NEW ROUTER INTERFACE");
    lines.push_back("Design File : " + HostSdk::ExtractFileName(FBaseFileName));
    // The user's short date and long time formats.
    const TUserTimeStyle style;
    lines.push_back("Date        : " + style.Format(std::chrono::system_clock::now(), "%x"));
    lines.push_back("Start Time  : " + style.Format(FStartTime, "%X"));
    lines.push_back("End   Time  : " + style.Format(FStopTime, "%X"));
    lines.emplace_back();
    lines.emplace_back();
    if (FErrorCount > 0) {
        lines.push_back("Total errors encountered: " + std::to_string(FErrorCount));
    }
    if (FWarningCount > 0) {
        lines.push_back("Total warnings encountered: " + std::to_string(FWarningCount));
    }
    lines.emplace_back();
    lines.emplace_back();
    return lines;
}

void TReportManager::OpenReportFile() {
    FReportName = FFixedReportName.empty() ? ReportNameFor(FBaseFileName) : FFixedReportName;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        folder = "/tmp";
    }
    // The process id in the name lets a later report remove what a process
    // killed outright left behind.
    const std::string prefix = "dsnlink-";
    HostSdk::RemoveStaleTemporaryFiles(folder.string(), prefix);
    std::string temp = (folder / (prefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw std::runtime_error(ErrorText("Cannot create report file", temp, errno));
    }
    // The temporary file becomes the report: give it the mode of any new file
    // rather than the owner-only mode of a temporary one.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    FReportFile = ::fdopen(fd, "wb");
    if (FReportFile == nullptr) {
        const int error = errno;
        ::close(fd);
        std::remove(temp.c_str());
        throw std::runtime_error(ErrorText("Cannot create report file", temp, error));
    }
    std::setvbuf(FReportFile, nullptr, _IOFBF, std::size_t{1} << 20);
    FReportPath = temp;
}

void TReportManager::WriteLine(std::string_view line) {
    if (std::fwrite(line.data(), 1, line.size(), FReportFile) != line.size() ||
        std::fwrite("\r\n", 1, 2, FReportFile) != 2) {
        throw std::runtime_error(ErrorText("Cannot write report file", FReportPath, errno));
    }
}

void TReportManager::CloseReportFile() {
    if (FReportFile == nullptr) {
        return;
    }
    const bool failed = std::fclose(FReportFile) != 0;
    FReportFile = nullptr;
    if (failed) {
        const int error = errno;
        std::remove(FReportPath.c_str());
        throw std::runtime_error(ErrorText("Cannot write report file", FReportPath, error));
    }
    std::error_code ec;
    std::filesystem::remove(FReportName, ec);
    if (!MoveFile(FReportPath, FReportName)) {
        std::fprintf(stderr, "%s\n",
                     ErrorText("Cannot replace report file", FReportName, errno).c_str());
        std::remove(FReportPath.c_str());
    }
    FReportPath = FReportName;
}

void TReportManager::ViewReport() {
    if (FViewer != nullptr) {
        FViewer->ViewReport(FReportPath);
    } else {
        std::fprintf(stderr, "Report: %s\n", FReportPath.c_str());
    }
}

void TReportManager::OutputReportFile() {
    if (!FEnabled) {
        return;
    }
    // A kill while the report is written takes effect once the temporary
    // file has become the report or has been removed.
    const HostSdk::THeldSignals held;
    OpenReportFile();
    try {
        for (const std::string& line : HeaderLines()) {
            WriteLine(line);
        }
        std::size_t start = 0;
        for (const std::size_t end : FEventEnds) {
            WriteLine(std::string_view(FEventText).substr(start, end - start));
            start = end;
        }
        if (FOmittedEvents > 0) {
            WriteLine("... and " + std::to_string(FOmittedEvents) +
                      " more events, not listed: a report lists at most " +
                      std::to_string(kMaxEventBytes >> 20) + " MB of events.");
        }
        for (const std::string& line : FLateFinalLines) {
            WriteLine(line);
        }
    } catch (...) {
        std::fclose(FReportFile);
        FReportFile = nullptr;
        std::remove(FReportPath.c_str());
        throw;
    }
    CloseReportFile();
    ViewReport();
}
