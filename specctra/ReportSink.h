// Where the reader sends its conversion and syntax errors. The translation's
// report manager (persistence/ReportManager.h) implements it.
#pragma once

#include <cstddef>
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
    // A warning about the translation as a whole (such as where the user
    // stopped the reading): counted, and listed even where a report that has
    // grown too long leaves further lines out.
    virtual void ReportFinalWarning(const std::string& text) { ReportWarning(text); }
};
