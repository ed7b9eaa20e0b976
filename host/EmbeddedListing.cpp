// harrow embedded: the plug-in lists a board's translation data as messages;
// each message is one stored record, split here into its name and its
// description for the plain or JSON listing.
#include "host/EmbeddedListing.h"

#include "host/Console.h"
#include "host/Outcome.h"
#include "host/Session.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace Harrow {

namespace {

// One stored record of the listing: "Name: ...\n\rDescription: ...".
std::pair<std::string, std::string> SplitEmbedded(const std::string& text) {
    const std::string nameMark = "Name:";
    const std::string descriptionMark = "Description:";
    std::size_t description = text.find("\n\r" + descriptionMark);
    std::string name = text.substr(0, description);
    if (name.rfind(nameMark, 0) == 0)
        name = name.substr(nameMark.size());
    name.erase(0, name.find_first_not_of(' '));
    std::string rest;
    if (description != std::string::npos) {
        rest = text.substr(description + 2 + descriptionMark.size());
        if (!rest.empty() && rest.front() == ' ')
            rest.erase(0, 1);
    }
    return {name, rest};
}

} // namespace

int Embedded(CommandLine& line) {
    Expect(line, 1, "embedded BOARD [--file OUT] [--delete]");
    if (line.remove && line.file)
        throw HostError("--delete and --file do not go together");
    line.session.boards.push_back(line.positional[0]);
    OutputGuard guard(line.session.force);
    guard.AddInput(line.positional[0], "board");
    if (line.file)
        guard.Add(*line.file);
    Session session(line.session);
    if (line.remove) {
        session.RunCommand("DeleteEmbeddedObjects", "");
        session.Finish();
        guard.RestoreModes();
        if (!line.quiet)
            std::cerr << ShownPath(line.positional[0]) << ": translation data deleted"
                      << (session.Client().DocumentsSaved().empty() ? " (there was none)" : "")
                      << std::endl;
        return kExitDone;
    }
    if (line.file) {
        session.RunCommand("ViewEmbeddedObjects",
                           "File=" + ParameterValue("--file", WholePath(*line.file)));
        session.Finish();
        guard.RestoreModes();
        if (!guard.WasWritten(*line.file))
            throw HostError("the listing " + ShownPath(*line.file) + " was not written");
        if (!line.quiet)
            std::cerr << ShownPath(line.positional[0]) << " -> " << ShownPath(*line.file)
                      << std::endl;
        return kExitDone;
    }
    std::vector<std::string> listing;
    session.GetConsole().CaptureMessages(&listing);
    session.RunCommand("ViewEmbeddedObjects", "");
    session.GetConsole().CaptureMessages(nullptr);
    session.Finish();
    if (line.json) {
        std::cout << "[";
        const char* separator = "";
        for (const std::string& text : listing) {
            auto [name, description] = SplitEmbedded(text);
            std::cout << separator << "{\"Name\":" << JsonString(name)
                      << ",\"Description\":" << JsonString(description) << "}";
            separator = ",";
        }
        std::cout << "]" << std::endl;
    } else {
        for (const std::string& text : listing)
            std::cout << PlainLines(text) << "\n\n";
    }
    return kExitDone;
}

} // namespace Harrow
