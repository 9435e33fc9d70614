#include "platform/posix/managers/Yaml.h"

#include "platform/posix/managers/ManagerFiles.h"

namespace platform::posix::managers {

std::optional<YAML::Node> loadYaml(const std::filesystem::path& file) {
  const std::optional<std::string> text = readManagerFile(file);
  if (!text) return std::nullopt;
  try {
    return YAML::Load(*text);
  } catch (const YAML::Exception&) {
    return std::nullopt;
  }
}

std::string scalarOf(const YAML::Node& map, const char* key) {
  try {
    if (!map.IsMap()) return {};
    const YAML::Node value = map[key];
    return value.IsScalar() ? value.Scalar() : std::string();
  } catch (const YAML::Exception&) {
    return {};
  }
}

YAML::Node mappingOf(const YAML::Node& map, const char* key) {
  try {
    if (map.IsMap()) {
      const YAML::Node value = map[key];
      if (value.IsMap()) return value;
    }
  } catch (const YAML::Exception&) {
  }
  return YAML::Node();
}

Variables variablesOf(const YAML::Node& map) {
  Variables variables;
  try {
    if (!map.IsMap()) return variables;
    for (const auto& pair : map) {
      if (!pair.first.IsScalar() || !pair.second.IsScalar()) continue;
      const std::string name = pair.first.Scalar();
      if (isVariableName(name)) variables.emplace_back(name, pair.second.Scalar());
    }
  } catch (const YAML::Exception&) {
  }
  return variables;
}

}  // namespace platform::posix::managers
