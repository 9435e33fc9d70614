// Module1: the program's only access to profile files.
#pragma once

#include <cstdint>
#include <string>

// Reads one value of section from file, or the default when the file, the section or the key
// is missing. A key of exactly "" or "NULL" asks for the section's key names instead, each
// followed by a NUL.
std::string ReadIniString(std::string& section, std::string& key, std::string& defaultValue,
                          std::string& file);

// Sets key in section of file to value. Yields the status: non-zero on success; 0 when the
// write failed, the file as it was, and then the failure is reported to the user in a message
// box: "Error ", a blank, the status (0), " Writing to " and the file, as the message always
// read, and on the next line the system's words for the reason.
std::int32_t WriteIniString(std::string& section, std::string& key, std::string& value,
                            std::string& file);

// As WriteIniString, but a failure is not shown: its report's text goes to failure instead,
// for a caller that tells the user more (failure is left alone on success).
std::int32_t TryWriteIniString(std::string& section, std::string& key, std::string& value,
                               std::string& file, std::string& failure);
