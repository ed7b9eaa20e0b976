// Host services the reader needs while it scans a file: the state of the
// Escape key and a yes-or-no question; and a message box for the model. The host installs its
// implementation; without one the key is never pressed.
#pragma once

#include <string>

class IEscapeKeyHost {
public:
    virtual ~IEscapeKeyHost() = default;
    // True while the user holds the Escape key (or its stand-in) down.
    virtual bool EscapePressed() = 0;
    // Asks a modal Yes/No question; true only for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
    // Shows a modal message to the user.
    virtual void ShowMessage(const std::string& text) { (void)text; }
};

// Installs the host (non-owning; null removes it).
void SetEscapeKeyHost(IEscapeKeyHost* host);
IEscapeKeyHost* GetEscapeKeyHost();

// Shows a message to the user through the installed host; without one the
// message is dropped.
inline void ShowHostMessage(const std::string& text) {
    if (IEscapeKeyHost* host = GetEscapeKeyHost())
        host->ShowMessage(text);
}
