#include "tools/effects/Loudness.hpp"

#include <ebur128.h>

#include <cmath>
#include <vector>

namespace effects {

double integratedLoudness(std::span<const float> interleaved, int channels, int rate) {
    ebur128_state* state = ebur128_init(static_cast<unsigned>(channels),
                                        static_cast<unsigned long>(rate), EBUR128_MODE_I);
    if (state == nullptr || interleaved.empty()) {
        return -HUGE_VAL;
    }
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    const auto minimum = static_cast<std::size_t>(1.2 * rate);
    std::size_t fed = 0;
    do {
        ebur128_add_frames_float(state, interleaved.data(), frames);
        fed += frames;
    } while (fed < minimum);
    double loudness = -HUGE_VAL;
    ebur128_loudness_global(state, &loudness);
    ebur128_destroy(&state);
    return loudness;
}

}  // namespace effects
