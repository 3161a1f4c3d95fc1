#pragma once
// The `[audio]` group of lumivox.ini: who hears the effects and the songs, their
// volumes and the devices. A value that is missing or cannot be read gives the
// default (today's behaviour: both on the default output, no virtual
// microphone) and stays in the file as it was until the host changes that
// setting.
#include <string_view>

#include "base/IniDocument.hpp"
#include "platform/SoundRouting.hpp"

namespace lumivox {

inline constexpr std::string_view kAudioGroup = "audio";

platform::SoundRoute readAudioSettings(const IniDocument& document);
// Writes every key of the group whose value differs from `before` (the route
// the document gave): what the host did not change stays byte for byte.
void writeAudioSettings(IniDocument& document, const platform::SoundRoute& before,
                        const platform::SoundRoute& after);

// Reads the program's store and sends its route to the sound engines (start-up).
void applyStoredAudioSettings();

}  // namespace lumivox
