// General: reads one string value from the registry, given its key's full path.
#pragma once

#include <cstdint>
#include <string>

// The handle of a predefined root named exactly as Windows names it, or 0.
std::uint32_t HiveFromName(std::string& name);

// For a well-formed path (it begins with "HKEY_" and does not end with a backslash) sets root
// and replaces path by its subkey. A malformed path is reported to the user and left alone.
void SplitKeyPath(std::string& path, std::uint32_t& root);

// The value's text, "Error" when the key cannot be opened or the value cannot be read, or the
// empty text for a malformed path or an unknown root. Afterwards path holds the subkey.
std::string ReadRegString(std::string& path, std::string& valueName);
