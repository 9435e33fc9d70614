// Module1: the program's only access to profile files.
#pragma once

#include <cstdint>
#include <string>

// Reads one value of section from file, or the default when the file, the section or the key
// is missing. A key of exactly "" or "NULL" asks for the section's key names instead, each
// followed by a NUL.
std::string ReadIniString(std::string& section, std::string& key, std::string& defaultValue,
                          std::string& file);

// Sets key in section of file to value. A failed write is reported to the user in a message
// box ("Error  0 Writing to " and the file) and yields 0.
std::int32_t WriteIniString(std::string& section, std::string& key, std::string& value,
                            std::string& file);
