#pragma once
// Integrated loudness (EBU R128) of interleaved float frames. A sound shorter
// than the 400 ms measuring block is measured as if repeated, so the briefest
// effects (a bark, a click) are levelled like the rest.
#include <span>

namespace effects {

inline constexpr double kTargetLufs = -18.0;
inline constexpr double kPeakCeiling = 0.89;  // -1 dBFS

double integratedLoudness(std::span<const float> interleaved, int channels, int rate);

}  // namespace effects
