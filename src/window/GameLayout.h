// Where the game keeps what Kestrun reads and writes, relative to its installation folder, and
// the layout of its profile: the three flight-model slots, the section in force and the keys a
// copy takes. The window and the flight-model procedures use these names and nothing else.
#pragma once

#include <array>

namespace game {

// The profile, and the program that Launch starts, below the installation folder.
inline constexpr const char* kProfilePath = "\\data\\custom.ini";
inline constexpr const char* kExecutableName = "gunship.exe";

// The section the game flies by, and the key naming the helicopter of a flight model.
inline constexpr const char* kCustomSection = "custom";
inline constexpr const char* kHeloKey = "Helo";

// The profile section of each flight-model slot, in the window's order.
inline constexpr std::array<const char*, 3> kSlotSections = {
    "ApacheFlightModel", "TigerFlightModel", "HavocFlightModel"};

// The keys a copy takes into the custom section, in the order they are copied: the eight
// handling values, then the helicopter's name.
inline constexpr std::array<const char*, 9> kCopyList = {"RudderSensitivity",
                                                         "RudderKeyIncrement",
                                                         "CollectiveSensitivity",
                                                         "CollectiveKeyIncrement",
                                                         "CyclicLeftRightSensitivity",
                                                         "CyclicForwardBackSensitivity",
                                                         "GroundEffectFactor",
                                                         "TransLiftFactor",
                                                         kHeloKey};

}  // namespace game
