// A scripted host client for the plug-in tests: records every message,
// question and process run, answers questions and dialogs from queues, and
// keeps a PCB server with boards known by handle and path.
#pragma once

#include "sdk/HostClient.h"

#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using Strings = std::vector<std::string>;

class FakeBoard : public HostSdk::IPCB_Board {
public:
    FakeBoard(intptr_t handle, std::string fileName)
        : handle_(handle), fileName_(std::move(fileName)) {}
    intptr_t BoardHandle() const override { return handle_; }
    std::string FileName() const override { return fileName_; }
    void SetFeatureEnabled(const std::string& feature, bool enabled) override {
        features[feature] = enabled;
        featureLog.push_back(feature + (enabled ? "=on" : "=off"));
    }
    bool IsFeatureEnabled(const std::string& feature) const override {
        return !features.count(feature) || features.at(feature);
    }
    void SendMessage(int32_t message, intptr_t) override { messages.push_back(message); }
    void RefreshView() override { ++refreshes; }

    std::map<std::string, bool> features;
    std::vector<std::string> featureLog;
    std::vector<int32_t> messages;
    int refreshes = 0;

private:
    intptr_t handle_;
    std::string fileName_;
};

class FakeClient : public HostSdk::IClient,
                   public HostSdk::IHostServer,
                   public HostSdk::IPCB_ServerInterface {
public:
    struct ProcessRun {
        std::string process;
        std::string request;
        std::size_t capacity;
    };

    // Scripted behaviour.
    bool pcbServerRunning = true;
    bool startServerWorks = false;
    bool throwEverywhere = false; // every service raises
    std::deque<bool> yesNoAnswers;
    std::deque<std::string> dialogAnswers; // raw answer strings
    std::map<intptr_t, std::unique_ptr<FakeBoard>> boards;

    // Records.
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<ProcessRun> processes;
    std::vector<std::string> serverLookups;
    std::vector<intptr_t> boardLookups;
    std::vector<std::string> reportsOpened;
    bool escapeHeld = false;
    int batchDepth = 0;

    FakeBoard& AddBoard(intptr_t handle, const std::string& fileName) {
        return *(boards[handle] = std::make_unique<FakeBoard>(handle, fileName));
    }
    std::vector<ProcessRun> Dialogs() const {
        std::vector<ProcessRun> dialogs;
        for (const auto& run : processes)
            if (run.process == "Client:RunCommonDialog")
                dialogs.push_back(run);
        return dialogs;
    }
    std::size_t CallCount() const {
        return messages.size() + questions.size() + processes.size() + serverLookups.size() +
               boardLookups.size();
    }

    void RunProcess(const std::string& process, std::string& buffer, std::size_t capacity,
                    HostSdk::IServerDocumentView*) override {
        Record(processes, {process, buffer, capacity});
        if (process == "Client:RunCommonDialog") {
            buffer = dialogAnswers.empty() ? std::string("Result=False") : dialogAnswers.front();
            if (!dialogAnswers.empty())
                dialogAnswers.pop_front();
        }
    }
    void ShowMessage(const std::string& text) override { Record(messages, text); }
    bool AskYesNo(const std::string& text) override {
        Record(questions, text);
        bool yes = !yesNoAnswers.empty() && yesNoAnswers.front();
        if (!yesNoAnswers.empty())
            yesNoAnswers.pop_front();
        return yes;
    }
    HostSdk::IHostServer* FindServer(const std::string& name) override {
        Record(serverLookups, name);
        return name == "PCB" && pcbServerRunning ? this : nullptr;
    }
    bool StartServer(const std::string& name) override {
        Record(serverLookups, "start:" + name);
        if (startServerWorks)
            pcbServerRunning = true;
        return pcbServerRunning;
    }
    HostSdk::IServerDocument* OpenDocument(const std::string&) override { return Raise(), nullptr; }
    HostSdk::IServerDocument* CreateDocument(const std::string&, const std::string&) override {
        return Raise(), nullptr;
    }
    HostSdk::IServerDocument* FindDocument(const std::string&) override { return Raise(), nullptr; }
    void ShowDocument(HostSdk::IServerDocument*) override { Raise(); }
    void CloseDocument(HostSdk::IServerDocument*) override { Raise(); }
    std::string DefaultExtension(const std::string&) const override { return "pcbdoc"; }
    HostSdk::IServerDocumentView* CurrentView() override { return nullptr; }
    HostSdk::IProject* OpenProject(const std::string&) override { return Raise(), nullptr; }
    void SaveFile(const std::string&, const std::string&) override { Raise(); }
    void OpenReport(const std::string& path) override { Record(reportsOpened, path); }
    bool EscapePressed() override { return escapeHeld; }

    std::string ServerName() const override { return "PCB"; }
    HostSdk::IPCB_ServerInterface* PCBServer() override { return this; }

    HostSdk::IPCB_Board* GetPCBBoardByBoardHandle(intptr_t board) override {
        Record(boardLookups, board);
        auto it = boards.find(board);
        return it == boards.end() ? nullptr : it->second.get();
    }
    HostSdk::IPCB_Board* GetPCBBoardByPath(const std::string& path) override {
        Raise();
        for (auto& [handle, board] : boards)
            if (board->FileName() == path)
                return board.get();
        return nullptr;
    }
    HostSdk::IPCB_Board* GetCurrentPCBBoard() override { return nullptr; }
    void PreProcess() override { ++batchDepth; }
    void PostProcess() override { --batchDepth; }
    intptr_t CreateRegion(intptr_t, HostSdk::TRegionKind, int32_t, bool,
                          const std::vector<HostSdk::TRegionPoint>&) override {
        return 0;
    }

private:
    void Raise() const {
        if (throwEverywhere)
            throw std::runtime_error("host service failed");
    }
    // A service call kept in its record, unless the service raises.
    template <class T> void Record(std::vector<T>& record, std::type_identity_t<T> entry) {
        Raise();
        record.push_back(std::move(entry));
    }
};
