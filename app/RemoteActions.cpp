#include "app/RemoteActions.hpp"

#include <charconv>
#include <cstdio>

#include "hotkeys/HotkeyPhrases.hpp"
#include "platform/ActionChannel.hpp"
#include "platform/GuiThread.hpp"
#include "sound/BuiltinSoundPage.hpp"

namespace lumivox {
namespace {

constexpr int kEffectCount = 50;

// A whole decimal number in [1, last]; 0 otherwise.
int numberIn(std::string_view text, int last) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > last) {
        return 0;
    }
    return value;
}

std::optional<RemoteAction> actionOf(std::string_view name, std::string_view number,
                                     bool hasNumber) {
    if (name == "stop" && !hasNumber) {
        return RemoteAction{RemoteAction::Kind::Stop, 0};
    }
    if (!hasNumber) {
        return std::nullopt;
    }
    if (name == "phrase") {
        if (const int n = numberIn(number, kHotkeyCount)) {
            return RemoteAction{RemoteAction::Kind::Phrase, n};
        }
    } else if (name == "play") {
        if (const int n = numberIn(number, kEffectCount)) {
            return RemoteAction{RemoteAction::Kind::Play, n};
        }
    }
    return std::nullopt;
}

const char* kUsage =
    "usage: lumivox [--phrase N (1-12) | --play N (1-50) | --stop]\n"
    "  hands the action to the copy of Lumivox that runs for this user\n";

}  // namespace

std::optional<RemoteAction> parseActionLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return actionOf(line, {}, false);
    }
    return actionOf(line.substr(0, space), line.substr(space + 1), true);
}

std::string actionLine(const RemoteAction& action) {
    switch (action.kind) {
        case RemoteAction::Kind::Phrase:
            return "phrase " + std::to_string(action.number);
        case RemoteAction::Kind::Play:
            return "play " + std::to_string(action.number);
        case RemoteAction::Kind::Stop:
            break;
    }
    return "stop";
}

std::optional<int> runCommandLineAction(int argc, char** argv) {
    if (argc < 2) {
        return std::nullopt;
    }
    const std::string_view option = argv[1];
    if (option != "--phrase" && option != "--play" && option != "--stop") {
        return std::nullopt;
    }
    const std::string_view name = option.substr(2);
    const std::optional<RemoteAction> action =
        argc == 2 ? actionOf(name, {}, false)
                  : argc == 3 ? actionOf(name, argv[2], true) : std::nullopt;
    if (!action) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string reply;
    switch (platform::sendActionToRunningCopy(actionLine(*action), reply)) {
        case platform::ActionDelivery::Delivered:
            return 0;
        case platform::ActionDelivery::NoRunningCopy:
            std::fprintf(stderr,
                         "lumivox: Lumivox is not running for this user (nothing answers at %s); "
                         "start it first\n",
                         platform::actionChannelName().c_str());
            return 1;
        case platform::ActionDelivery::Refused:
            break;
    }
    std::fprintf(stderr, "lumivox: the running copy refused the action: %s\n", reply.c_str());
    return 1;
}

bool listenForRemoteActions(Forms& forms, std::string_view mainLayout) {
    return platform::startActionListener(
        [](const std::string& line) { return parseActionLine(line).has_value(); },
        [&forms, layout = std::string(mainLayout)](const std::string& line) {
            const std::optional<RemoteAction> action = parseActionLine(line);
            if (!action) {
                return;
            }
            switch (action->kind) {
                case RemoteAction::Kind::Phrase:
                    if (Window* window = forms.openWindow(layout)) {
                        hotkeyPhraseSender().sendPhrase(*window, action->number - 1);
                    }
                    break;
                case RemoteAction::Kind::Play:
                    playBuiltinSound(action->number);
                    break;
                case RemoteAction::Kind::Stop:
                    stopEverySound();
                    break;
            }
        });
}

void stopListeningForRemoteActions() {
    platform::stopActionListener();
}

namespace {

constexpr int kRetryEveryMs = 250;
constexpr int kRetries = 24;  // six seconds

}  // namespace

void listenForRemoteActionsWhenFree(Forms& forms, std::string_view mainLayout) {
    platform::retryOnGuiThread(kRetries, kRetryEveryMs, [&forms, layout = std::string(mainLayout)] {
        return listenForRemoteActions(forms, layout);
    });
}

}  // namespace lumivox
