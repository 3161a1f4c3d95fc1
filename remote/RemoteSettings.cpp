#include "remote/RemoteSettings.hpp"

#include <array>
#include <charconv>

#include "platform/Random.hpp"
#include "platform/SettingsStore.hpp"

namespace lumivox {
namespace {

bool isTokenCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

std::string base64Url(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    for (std::size_t i = 0; i + 2 < count; i += 3) {
        const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            out += kAlphabet[(v >> shift) & 63];
        }
    }
    return out;  // counts that are multiples of 3 only: no padding
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host != "127.0.0.1" && host != "0.0.0.0") {
        return std::nullopt;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || number < 1 ||
        number > 65535) {
        return std::nullopt;
    }
    return ListenAddress{std::string(host), number};
}

RemoteSettings readRemoteSettings(const IniDocument& document) {
    RemoteSettings settings;
    settings.enabled = document.boolValue(kRemoteGroupName, "enabled", false);
    if (const auto listen = document.value(kRemoteGroupName, "listen")) {
        if (const auto address = parseListenAddress(*listen)) {
            settings.listen = *address;
        }
    }
    if (settings.listen.host.empty()) {
        settings.listen.host = "127.0.0.1";
    }
    if (const auto token = document.value(kRemoteGroupName, "token")) {
        bool good = token->size() >= kMinTokenChars;
        for (const char c : *token) {
            good = good && isTokenCharacter(c);
        }
        if (good) {
            settings.token = *token;
        }
    }
    return settings;
}

std::string newRemoteToken() {
    std::array<std::uint8_t, kTokenBytes> bytes{};
    if (!platform::fillRandomBytes(bytes)) {
        return {};
    }
    return base64Url(bytes.data(), bytes.size());
}

RemoteSettings currentRemoteSettings() {
    return readRemoteSettings(platform::SettingsStore::instance().snapshot());
}

bool switchRemotePanel(bool on, bool onNetwork) {
    // The token is made outside the store's lock: nothing calls out from there.
    const RemoteSettings before = currentRemoteSettings();
    const std::string token = on && before.token.empty() ? newRemoteToken() : before.token;
    if (on && token.empty()) {
        return false;
    }
    return platform::SettingsStore::instance().change([&](IniDocument& document) {
        ListenAddress listen = before.listen;
        listen.host = onNetwork ? "0.0.0.0" : "127.0.0.1";
        document.setBool(kRemoteGroupName, "enabled", on);
        document.set(kRemoteGroupName, "listen", listen.text());
        if (!token.empty()) {
            document.set(kRemoteGroupName, "token", token);
        }
    });
}

bool replaceRemoteToken() {
    const std::string token = newRemoteToken();
    if (token.empty()) {
        return false;
    }
    return platform::SettingsStore::instance().change(
        [&](IniDocument& document) { document.set(kRemoteGroupName, "token", token); });
}

}  // namespace lumivox
