#pragma once

namespace vetra::analysis {

// How the last start or acquisition ended, as the controller, the station and the stored
// files know it.
inline constexpr int kStatusNoError = -100;
inline constexpr int kStatusNoAnswer = -99;
inline constexpr int kStatusShortFrame = -98;
inline constexpr int kStatusCannotOpen = -97;
inline constexpr int kStatusClosingFrame = -96;

}  // namespace vetra::analysis
