// The report of one translation: error, warning and event lines collected in
// memory and written under a fixed header to a ".rpt" file beside the Specctra
// file when the translation ends.
#pragma once

#include "specctra/HostHooks.h"
#include "specctra/ReportSink.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class TReportManager : public IReportSink {
public:
    using TDateTime = std::chrono::system_clock::time_point;

    // baseFileName: the Specctra file read or written.
    explicit TReportManager(const std::string& baseFileName);
    ~TReportManager() override;

    TReportManager(const TReportManager&) = delete;
    TReportManager& operator=(const TReportManager&) = delete;

    void Start();
    void Stop();

    void AddReportEvent(const std::string& text) override;
    void ReportError(const std::string& text) override;
    void ReportWarning(const std::string& text) override;
    void ReportFinalWarning(const std::string& text) override;

    // Whether OutputReportFile writes anything; off until the translation's
    // root turns it on from the command flags.
    void SetEnabled(bool enabled) { FEnabled = enabled; }
    // The report's path, when it is not the one ReportNameFor gives.
    void SetReportName(const std::string& path) { FFixedReportName = path; }
    // Who shows the finished report; without one its path goes to stderr.
    void SetViewer(IReportViewer* viewer) { FViewer = viewer; }
    bool Enabled() const { return FEnabled; }

    // When enabled: writes the header and every event to a
    // temporary file, moves it over the ".rpt" file and shows it. Otherwise does
    // nothing. Throws std::runtime_error naming the file on an output error.
    void OutputReportFile();
    // The end of a translation, from its root's destructor: stops the clock
    // and writes the report file, unless the translation ends by an exception
    // (`failing`), which leaves no report. An output error is printed on
    // stderr, as a destructor must not throw.
    void Finish(bool failing) noexcept;
    void OpenReportFile();
    void CloseReportFile();
    void ViewReport();

    // The events kept, in order. However many events a translation reports,
    // the manager keeps lines up to kMaxEventBytes (counted with a fixed
    // overhead per line) and only counts the rest; the report then ends with
    // a line that says how many were left out, then the final warnings that
    // came after the limit. Errors and warnings are counted in full either way.
    static constexpr std::size_t kMaxEventBytes = std::size_t{16} << 20;
    static constexpr std::size_t kEventOverhead = 48;
    // The events kept, a line each (made when asked: the manager keeps them
    // as one text).
    const std::vector<std::string>& Events() const;
    std::int64_t OmittedEvents() const { return FOmittedEvents; }
    int32_t WarningCount() const { return FWarningCount; }
    int32_t ErrorCount() const { return FErrorCount; }
    const std::string& ReportPath() const { return FReportPath; }
    const std::string& ReportName() const { return FReportName; }
    const std::string& BaseFileName() const { return FBaseFileName; }
    TDateTime StartTime() const { return FStartTime; }
    TDateTime StopTime() const { return FStopTime; }

    // The report path for a Specctra file: its extension (the text from the
    // last "." after the last folder separator) replaced by ".rpt", or ".rpt"
    // appended when it has none.
    static std::string ReportNameFor(const std::string& baseFileName);
    // The header lines written above the events.
    std::vector<std::string> HeaderLines() const;

private:
    bool FEnabled = false;
    IReportViewer* FViewer = nullptr;
    void WriteLine(std::string_view line);
    // Keeps the line `mark` + `text`, or counts it as left out.
    void Keep(std::string_view mark, std::string_view text);

    // The lines kept, one after another, and where each ends: a report of a
    // hundred thousand lines is not a hundred thousand strings.
    std::string FEventText;
    std::vector<std::size_t> FEventEnds;
    mutable std::vector<std::string> FEventLines; // Events(), when asked
    std::vector<std::string> FLateFinalLines;     // final warnings past the limit
    std::size_t FEventBytes = 0;
    std::int64_t FOmittedEvents = 0;
    std::FILE* FReportFile = nullptr;
    int32_t FWarningCount = 0;
    int32_t FErrorCount = 0;
    std::string FReportPath;
    std::string FReportName;
    std::string FBaseFileName;
    std::string FFixedReportName;
    TDateTime FStartTime{};
    TDateTime FStopTime{};
};
