// Where the reader sends its conversion and syntax errors. The translation's
// report manager (persistence/ReportManager.h) implements it.
#pragma once

#include <string>

class IReportSink {
public:
    virtual ~IReportSink() = default;
    // Counts an error and records "ERROR: " + text.
    virtual void ReportError(const std::string& text) = 0;
    // Counts a warning and records "WARNING: " + text.
    virtual void ReportWarning(const std::string& text) = 0;
    // Records the text as it is.
    virtual void AddReportEvent(const std::string& text) = 0;
};
