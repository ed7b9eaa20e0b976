// Harrow's side of the conversation: messages on stderr, answers to questions
// and file dialogs taken from the command line in order, then from the person
// at a terminal, else No and Cancel. Also the progress bar and Ctrl-C, which
// plays the Escape key.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace Harrow {

struct DialogAnswer {
    enum class Kind { Accept, Cancel, Raw } kind = Kind::Cancel;
    std::string text;    // the path (Accept) or the whole answer (Raw)
    bool silent = false; // harrow's own answer for a verb: the dialog is not printed
};

class Console {
public:
    Console();

    void QueueQuestionAnswer(bool yes) { questions_.push_back(yes); }
    void QueueDialogAnswer(DialogAnswer answer) { dialogs_.push_back(std::move(answer)); }
    void PushDialogAnswerFront(DialogAnswer answer) { dialogs_.push_front(std::move(answer)); }

    void Message(const std::string& text);
    void Note(const std::string& text); // a host remark, "harrow: ..."
    bool AskYesNo(const std::string& text);
    // Shows the dialog request; answers the text the dialog process writes
    // back into its buffer.
    std::string RunFileDialog(const std::string& prompt, const std::string& proposedPath);

    // Progress bar on stderr, drawn only when stderr is a terminal and at most
    // five times a second.
    void ProgressInit(const std::string& caption, int32_t steps);
    void ProgressUpdate();
    void ProgressFinish();

    // Ctrl-C during a command sets the escape flag; a second Ctrl-C before it
    // is read ends the process. Without a terminal the question that follows
    // an escape (whether to abort) is answered Yes: nobody can confirm it, and
    // the interrupt was the request.
    void InstallInterruptHandler();
    void RemoveInterruptHandler();
    bool TakeEscape();
    // For work that stops at once without asking (the router): takes a
    // pending Ctrl-C and answers whether there was one during this run.
    bool TakeInterrupt();
    // Whether Ctrl-C played the Escape key during this run.
    bool Interrupted() const { return interrupted_; }

    // While capturing, messages go into `sink` instead of stderr (a verb that
    // prints them as its listing); null ends the capture.
    void CaptureMessages(std::vector<std::string>* sink) { capture_ = sink; }
    // What the person or the queue answered so far.
    int QuestionsAnsweredNo() const { return questionsNo_; }
    int DialogsCancelled() const { return dialogsCancelled_; }
    int MessagesShown() const { return messagesShown_; }

private:
    std::optional<std::string> ReadTerminalLine(const std::string& prompt);
    void ClearBar();

    std::deque<bool> questions_;
    std::deque<DialogAnswer> dialogs_;
    bool interactive_ = false;
    bool escapeUnconfirmed_ = false;
    bool barTerminal_ = false;
    bool barShown_ = false;
    std::string caption_;
    int64_t steps_ = 0;
    int64_t done_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::vector<std::string>* capture_ = nullptr;
    int questionsNo_ = 0;
    int dialogsCancelled_ = 0;
    int messagesShown_ = 0;
    bool interrupted_ = false;
};

// Turns the carriage returns and line feeds of a host text into plain line
// breaks.
std::string PlainLines(const std::string& text);

} // namespace Harrow
