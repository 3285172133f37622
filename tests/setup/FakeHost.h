// A host for the Morvane procedures that records what they show and answers
// from a script.
#pragma once

#include "SetupHost.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeHost : public ISetupHost {
public:
    std::vector<SetupMessage> messages;
    std::deque<MessageAnswer> answers; // for Yes/No boxes; Yes when empty
    std::map<std::string, std::string> settings;
    std::optional<std::string> openFile, saveFile;
    int saveChoices = 0;
    std::vector<int> closed;
    std::vector<int> shownBauds;
    std::vector<std::pair<SetupPage, int>> focus;
    std::function<SetupConnection(bool)> connect = [](bool) { return SetupConnection{}; };
    std::function<void(int)> close;

    MessageAnswer ShowMessage(const SetupMessage& message) override {
        messages.push_back(message);
        if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
        if (answers.empty()) return MessageAnswer::Yes;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    SetupConnection Connect(bool withMessages) override { return connect(withMessages); }
    void CloseSession(int session) override {
        closed.push_back(session);
        if (close) close(session);
    }
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& fallback) override {
        const auto it = settings.find(section + "/" + key);
        return it == settings.end() ? fallback : it->second;
    }
    void SetSetting(const std::string& section, const std::string& key, const std::string& value) override {
        settings[section + "/" + key] = value;
    }
    std::optional<std::string> ChooseOpenFile() override { return openFile; }
    std::optional<std::string> ChooseSaveFile() override {
        ++saveChoices;
        return saveFile;
    }
    void CurrentBaudRateShown(int baud) override { shownBauds.push_back(baud); }
    void FocusControl(SetupPage page, int control) override { focus.emplace_back(page, control); }

    std::vector<int> MessageIds() const {
        std::vector<int> ids;
        for (const SetupMessage& m : messages)
            ids.push_back(m.id);
        return ids;
    }
};
