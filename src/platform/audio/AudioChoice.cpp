#include "platform/audio/AudioChoice.h"

#include <algorithm>
#include <cctype>

namespace clavora {

namespace {

std::string Lower(const char* text) {
    std::string s = text ? text : "";
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool Set(const EnvLookup& env, const char* name) { return env(name) != nullptr; }

// The sound server is ours to drive unless the user chose another of SDL's drivers.
bool ServerWanted(const EnvLookup& env) {
    const std::string driver = Lower(env("SDL_AUDIODRIVER"));
    return driver.empty() || driver.find("pulse") != std::string::npos ||
           driver.find("pipewire") != std::string::npos;
}

}  // namespace

AudioChoice ChooseAudioOutputs(const std::vector<std::string>& names, const EnvLookup& env) {
    AudioChoice choice;
    std::string forced = Lower(env("CLAVORA_AUDIO"));
    if (forced == "pulseaudio") forced = "pulse";
    if (!forced.empty()) {
        const auto it = std::find(names.begin(), names.end(), forced);
        if (it != names.end()) {
            choice.order.push_back(static_cast<int>(it - names.begin()));
            return choice;
        }
        choice.complaint = "clavora: CLAVORA_AUDIO=" + forced + " names no sound output of this "
                           "program (it has:";
        for (const std::string& name : names) choice.complaint += " " + name;
        choice.complaint += "); trying them in turn";
    }
    const bool servers = ServerWanted(env);
    const bool pulseAsked = Set(env, "PULSE_SERVER") || Set(env, "PULSE_LATENCY_MSEC");
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == "pipewire" && (!servers || pulseAsked)) continue;
        if (names[i] == "pulse" && !servers) continue;
        choice.order.push_back(static_cast<int>(i));
    }
    return choice;
}

}  // namespace clavora
