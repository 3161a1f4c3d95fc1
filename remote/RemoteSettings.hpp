#pragma once
// The remote panel's group of lumivox.ini, `[remote]`: `enabled` (true/false),
// `listen` (`127.0.0.1:PORT` on this computer only, `0.0.0.0:PORT` on the local
// network too) and `token` (the secret every API request carries). Without the
// group, or with `enabled` anything but true, nothing listens.
#include <optional>
#include <string>
#include <string_view>

#include "base/IniDocument.hpp"

namespace lumivox {

inline constexpr std::string_view kRemoteGroupName = "remote";
inline constexpr int kDefaultRemotePort = 8765;
// 24 random bytes (192 bits), written as 32 URL-safe base64 characters.
inline constexpr std::size_t kTokenBytes = 24;
// The shortest token the server accepts from a prepared file: 128 bits of base64.
inline constexpr std::size_t kMinTokenChars = 22;

struct ListenAddress {
    std::string host;  // "127.0.0.1" or "0.0.0.0"
    int port = kDefaultRemotePort;
    bool onNetwork() const { return host == "0.0.0.0"; }
    std::string text() const { return host + ":" + std::to_string(port); }
    bool operator==(const ListenAddress&) const = default;
};

struct RemoteSettings {
    bool enabled = false;
    ListenAddress listen;
    std::string token;  // empty until first switched on
};

// `127.0.0.1:PORT` or `0.0.0.0:PORT`, port 1 to 65535; none for anything else.
std::optional<ListenAddress> parseListenAddress(std::string_view text);

// The group as the file has it. A `listen` that is not one of the two forms
// counts as loopback on the default port; a token shorter than 128 bits of
// base64 or with other characters counts as none, and the panel stays off until
// a good one is made (a guessable token must never open the API).
RemoteSettings readRemoteSettings(const IniDocument& document);

// A new token from the system's random generator; empty when it has none.
std::string newRemoteToken();

// Switching on and off, from the settings window: on makes a token when there is
// none and keeps the listen address (loopback on the default port unless the host
// chose the network). Writes the group through the program's settings store;
// false when the file could not be written (the change stays in memory).
bool switchRemotePanel(bool on, bool onNetwork);
// "更换令牌": a new token; the old one stops working once the server has it.
bool replaceRemoteToken();
// The group as the program's settings store holds it now.
RemoteSettings currentRemoteSettings();

}  // namespace lumivox
