// The YAML records of Lutris and Bottles, read through readManagerFile; a damaged document or
// an entry of another shape reads as missing, never as an error.
#pragma once

#include <yaml-cpp/yaml.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {

// The YAML document of file, or nullopt when it cannot be read or parsed.
std::optional<YAML::Node> loadYaml(const std::filesystem::path& file);

// The text of map[key] when map is a mapping and that entry a scalar; empty otherwise.
std::string scalarOf(const YAML::Node& map, const char* key);

// map[key] when map is a mapping and that entry one; an empty node otherwise.
YAML::Node mappingOf(const YAML::Node& map, const char* key);

// The game's variables in a mapping of names to scalars (isVariableName decides which names
// are taken), in the mapping's order.
Variables variablesOf(const YAML::Node& map);

}  // namespace platform::posix::managers
