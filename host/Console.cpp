#include "host/Console.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace Harrow {
namespace {

volatile std::sig_atomic_t g_escape = 0;
struct sigaction g_previous {};

extern "C" void OnInterrupt(int) {
    if (g_escape != 0)
        ::_exit(130);
    g_escape = 1;
}

} // namespace

std::string PlainLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if ((next == '\r' || next == '\n') && next != c)
                ++i;
            out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

Console::Console()
    : interactive_(::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0),
      barTerminal_(::isatty(STDERR_FILENO) != 0) {}

void Console::Message(const std::string& text) {
    ++messagesShown_;
    if (capture_ != nullptr) {
        capture_->push_back(text);
        return;
    }
    ClearBar();
    std::cerr << "message: " << PlainLines(text) << std::endl;
}

void Console::Note(const std::string& text) {
    ClearBar();
    std::cerr << "harrow: " << text << std::endl;
}

std::optional<std::string> Console::ReadTerminalLine(const std::string& prompt) {
    if (!interactive_)
        return std::nullopt;
    std::cerr << prompt << std::flush;
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    return line;
}

bool Console::AskYesNo(const std::string& text) {
    ClearBar();
    std::cerr << "question: " << PlainLines(text) << std::endl;
    bool yes = false;
    if (!questions_.empty()) {
        yes = questions_.front();
        questions_.pop_front();
    } else if (escapeUnconfirmed_) {
        // Ctrl-C with no terminal to ask: the interrupt itself confirms.
        yes = true;
    } else if (auto line = ReadTerminalLine("[y/N] ")) {
        yes = !line->empty() && (line->front() == 'y' || line->front() == 'Y');
    }
    escapeUnconfirmed_ = false;
    std::cerr << "answer: " << (yes ? "Yes" : "No") << std::endl;
    questionsNo_ += yes ? 0 : 1;
    return yes;
}

std::string Console::RunFileDialog(const std::string& prompt, const std::string& proposedPath) {
    ClearBar();
    DialogAnswer answer;
    const bool queued = !dialogs_.empty();
    if (queued) {
        answer = dialogs_.front();
        dialogs_.pop_front();
    }
    if (!answer.silent)
        std::cerr << "dialog: " << prompt << " [" << proposedPath << "]" << std::endl;
    if (!queued) {
        if (auto line = ReadTerminalLine("path ('.' keeps the proposal, empty cancels): ")) {
            if (!line->empty()) {
                answer.kind = DialogAnswer::Kind::Accept;
                answer.text = *line == "." ? proposedPath : *line;
            }
        }
    }
    switch (answer.kind) {
    case DialogAnswer::Kind::Accept:
        if (!answer.silent)
            std::cerr << "answer: " << answer.text << std::endl;
        return "Result=True|Path=" + answer.text;
    case DialogAnswer::Kind::Raw:
        if (!answer.silent)
            std::cerr << "answer: " << answer.text << std::endl;
        return answer.text;
    case DialogAnswer::Kind::Cancel:
        break;
    }
    ++dialogsCancelled_;
    if (!answer.silent)
        std::cerr << "answer: Cancel" << std::endl;
    return "Result=False";
}

void Console::ProgressInit(const std::string& caption, int32_t steps) {
    caption_ = caption;
    steps_ = steps > 0 ? steps : 0;
    done_ = 0;
    lastDraw_ = {};
}

void Console::ProgressUpdate() {
    ++done_;
    if (!barTerminal_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200))
        return;
    lastDraw_ = now;
    constexpr int kWidth = 30;
    int filled =
        steps_ > 0 ? static_cast<int>(std::min<int64_t>(done_, steps_) * kWidth / steps_) : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    int percent =
        steps_ > 0 ? static_cast<int>(std::min<int64_t>(done_, steps_) * 100 / steps_) : 0;
    std::fprintf(stderr, "\r%.50s [%s] %3d%%", caption_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    barShown_ = true;
}

void Console::ProgressFinish() {
    ClearBar();
}

void Console::ClearBar() {
    if (!barShown_)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    barShown_ = false;
}

void Console::InstallInterruptHandler() {
    g_escape = 0;
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_previous);
}

void Console::RemoveInterruptHandler() {
    ::sigaction(SIGINT, &g_previous, nullptr);
}

bool Console::TakeEscape() {
    if (g_escape == 0)
        return false;
    g_escape = 0;
    interrupted_ = true;
    escapeUnconfirmed_ = !interactive_;
    return true;
}

bool Console::TakeInterrupt() {
    if (g_escape != 0) {
        g_escape = 0;
        interrupted_ = true;
    }
    return interrupted_;
}

} // namespace Harrow
