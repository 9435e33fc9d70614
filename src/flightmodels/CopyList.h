// The keys a flight-model copy takes into the custom section, in the order they are copied: the
// eight handling values, then the helicopter's name.
#pragma once

#include <array>

inline constexpr std::array<const char*, 9> kCopyList = {"RudderSensitivity",
                                                         "RudderKeyIncrement",
                                                         "CollectiveSensitivity",
                                                         "CollectiveKeyIncrement",
                                                         "CyclicLeftRightSensitivity",
                                                         "CyclicForwardBackSensitivity",
                                                         "GroundEffectFactor",
                                                         "TransLiftFactor",
                                                         "Helo"};
