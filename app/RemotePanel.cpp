#include "app/RemotePanel.hpp"

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/Encoding.hpp"
#include "hotkeys/HotkeyPhrases.hpp"
#include "platform/GuiThread.hpp"
#include "platform/SettingsStore.hpp"
#include "platform/Sockets.hpp"
#include "remote/RemoteServer.hpp"
#include "remote/RemoteSettings.hpp"
#include "sound/AudioSettings.hpp"
#include "sound/BuiltinSoundPage.hpp"
#include "sound/CustomSongSlots.hpp"
#include "sound/NowPlaying.hpp"

namespace lumivox {
namespace {

constexpr int kLookEveryMs = 200;
constexpr std::size_t kPhraseStartChars = 10;

using nlohmann::json;

// The first characters of a phrase (UTF-8), line breaks as spaces.
std::string phraseStart(const std::string& utf8) {
    std::string start;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size() && characters < kPhraseStartChars;) {
        std::size_t length = 1;
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead >= 0xF0)
            length = 4;
        else if (lead >= 0xE0)
            length = 3;
        else if (lead >= 0xC0)
            length = 2;
        const std::string character = utf8.substr(i, length);
        start += character == "\r" || character == "\n" ? " " : character;
        i += length;
        ++characters;
    }
    return start;
}

json captionsOf(Window& window) {
    json effects = json::array(), songs = json::array(), phrases = json::array();
    for (int n = 1; n <= kRemoteEffectCount; ++n) {
        effects.push_back(
            {{"number", n},
             {"caption", gbkToUtf8(window.caption("官方音按钮" + std::to_string(n)))}});
    }
    for (int n = 1; n <= kRemoteSongCount; ++n) {
        songs.push_back(
            {{"number", n},
             {"caption", gbkToUtf8(window.caption("自定义歌曲名字" + std::to_string(n)))}});
    }
    for (int n = 1; n <= kRemotePhraseCount; ++n) {
        phrases.push_back(
            {{"number", n},
             {"start", phraseStart(gbkToUtf8(window.text("快捷编辑框" + std::to_string(n))))}});
    }
    return {{"effects", effects}, {"songs", songs}, {"phrases", phrases}};
}

json playingOf(Window& window) {
    json playing = json::array();
    for (const PlayingItem& item : nowPlaying()) {
        const bool effect = item.kind == PlayingItem::Kind::Effect;
        const std::string control =
            (effect ? "官方音按钮" : "自定义歌曲名字") + std::to_string(item.number);
        playing.push_back({{"kind", effect ? "effect" : "song"},
                           {"number", item.number},
                           {"caption", gbkToUtf8(window.caption(control))}});
    }
    return playing;
}

json volumes() {
    const platform::SoundRoute route =
        readAudioSettings(platform::SettingsStore::instance().snapshot());
    return {{"effects", route.effectsVolume}, {"songs", route.songsVolume}};
}

// The board: every call runs on the GUI thread, as the matching click would.
class ProgramBoard : public RemoteBoard {
  public:
    ProgramBoard(Forms& forms, std::string layout) : forms_(forms), layout_(std::move(layout)) {}

    std::optional<std::string> stateJson() override {
        std::string state;
        const bool ran = onWindow([&](Window& window) {
            json all = captionsOf(window);
            all["playing"] = playingOf(window);
            all["volumes"] = volumes();
            state = all.dump(-1, ' ', false, json::error_handler_t::replace);
        });
        return ran ? std::optional(state) : std::nullopt;
    }
    bool playEffect(int number) override {
        return onWindow([&](Window&) { playBuiltinSound(number); });
    }
    bool playSong(int number) override {
        return onWindow([&](Window& window) { playSongSlot(window, number); });
    }
    bool stopAll() override {
        return onWindow([&](Window&) { stopEverySound(); });
    }
    bool sendPhrase(int number) override {
        // What F-key N does, whether the hotkeys are on or not.
        return onWindow(
            [&](Window& window) { hotkeyPhraseSender().sendPhrase(window, number - 1); });
    }

  private:
    bool onWindow(const std::function<void(Window&)>& work) {
        bool open = false;
        const bool ran = platform::runOnGuiThread([&] {
            if (Window* window = forms_.openWindow(layout_)) {
                open = true;
                work(*window);
            }
        });
        return ran && open;
    }

    Forms& forms_;
    std::string layout_;
};

// The program's panel. GUI thread, except `end`.
struct Panel {
    std::unique_ptr<ProgramBoard> board;
    std::unique_ptr<RemoteServer> server;
    RemoteSettings running;  // what the server was started with
    std::string problem;
    std::vector<std::thread> retiring;  // servers being stopped and joined
    std::string lastCaptions, lastPlaying;
    std::shared_ptr<int> generation = std::make_shared<int>(0);

    // A server stops without the GUI thread waiting: its threads are joined
    // on a thread of its own (a worker may be waiting for the GUI thread now).
    void retire() {
        if (!server) {
            return;
        }
        server->beginStop();
        retiring.emplace_back([old = std::move(server)]() mutable { old.reset(); });
        generation = std::make_shared<int>(0);
    }

    void lookForChanges(Forms& forms, std::string layout) {
        Window* window = forms.openWindow(layout);
        if (!server || !window) {
            return;
        }
        const std::string captions =
            captionsOf(*window).dump(-1, ' ', false, json::error_handler_t::replace);
        if (captions != lastCaptions) {
            lastCaptions = captions;
            server->publish("captions", captions);
        }
        const std::string playing = json{{"playing", playingOf(*window)}}.dump(
            -1, ' ', false, json::error_handler_t::replace);
        if (playing != lastPlaying) {
            lastPlaying = playing;
            server->publish("playing", playing);
        }
        std::weak_ptr<int> alive = generation;
        platform::runOnGuiThreadLater(kLookEveryMs, [this, &forms, layout, alive] {
            if (!alive.expired()) {
                lookForChanges(forms, layout);
            }
        });
    }
};

Panel& panel() {
    static Panel instance;
    return instance;
}

}  // namespace

bool applyRemoteSettings(Forms& forms, std::string_view mainLayout) {
    Panel& p = panel();
    const RemoteSettings wanted = currentRemoteSettings();
    const bool on = wanted.enabled && !wanted.token.empty();
    if (p.server && on && wanted.listen == p.running.listen) {
        if (wanted.token != p.running.token) {
            p.server->setToken(wanted.token);
            p.running.token = wanted.token;
        }
        return true;
    }
    p.retire();
    p.problem.clear();
    p.running = {};
    if (!on) {
        if (wanted.enabled) {
            p.problem = "令牌无效";
        }
        return !wanted.enabled;
    }
    if (!p.board) {
        p.board = std::make_unique<ProgramBoard>(forms, std::string(mainLayout));
    }
    auto server = std::make_unique<RemoteServer>(*p.board);
    if (!server->start(wanted.listen, wanted.token)) {
        p.problem = "无法在 " + wanted.listen.text() + " 上监听（端口可能被占用）";
        std::fprintf(stderr, "lumivox: remote panel: cannot listen on %s\n",
                     wanted.listen.text().c_str());
        // Its threads never started: ending it waits for nothing.
        return false;
    }
    p.server = std::move(server);
    p.running = wanted;
    p.lastCaptions.clear();
    p.lastPlaying.clear();
    p.lookForChanges(forms, std::string(mainLayout));
    return true;
}

void applyRemoteSettingsWhenFree(Forms& forms, std::string_view mainLayout) {
    constexpr int kTries = 24;  // six seconds, as the action channel waits
    platform::retryOnGuiThread(kTries, 250, [&forms, layout = std::string(mainLayout)] {
        return applyRemoteSettings(forms, layout);
    });
}

std::string remotePanelLink() {
    const Panel& p = panel();
    if (!p.server) {
        return {};
    }
    std::string host = "127.0.0.1";
    if (p.running.listen.onNetwork()) {
        platform::networkAddress(host);
    }
    return "http://" + host + ":" + std::to_string(p.server->port()) + "/#token=" + p.running.token;
}

std::string remotePanelProblem() {
    return panel().problem;
}

void endRemotePanel() {
    Panel& p = panel();
    p.retire();
    for (std::thread& thread : p.retiring) {
        thread.join();
    }
    p.retiring.clear();
}

}  // namespace lumivox
