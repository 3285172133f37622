// An ISetupHost for the fuzz targets: no reader, no windows; messages are
// counted, files are chosen by the target, settings live in memory.
#pragma once

#include "SetupHost.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Fuzz {

class SetupHost : public ISetupHost {
public:
    std::vector<int> messages;
    std::optional<std::string> openFile, saveFile;
    std::map<std::string, std::string> settings;

    MessageAnswer ShowMessage(const SetupMessage& message) override {
        messages.push_back(message.id);
        // "Laden" after a change asks whether to save first: no.
        return message.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
    SetupConnection Connect(bool) override { return SetupConnection{}; }
    void CloseSession(int) override {}
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& fallback) override {
        const auto it = settings.find(section + "/" + key);
        return it == settings.end() ? fallback : it->second;
    }
    void SetSetting(const std::string& section, const std::string& key, const std::string& value) override {
        settings[section + "/" + key] = value;
    }
    std::optional<std::string> ChooseOpenFile() override { return openFile; }
    std::optional<std::string> ChooseSaveFile() override { return saveFile; }
};

} // namespace Fuzz
