// The profile-file text rules, apart from any file: how a profile's bytes are read and how one
// value is set in them. Profile.cpp puts these over the files of the host.
//
// Reads follow Windows' GetPrivateProfileStringA; a write makes the change that
// WritePrivateProfileStringA makes, but as a change of one line (or an addition of lines), every
// other byte of the text kept as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::posix::profile {

// Places the value of key in section (or the default) in buffer, which holds size bytes:
// at most size-1 bytes and a NUL. Returns the count placed, without the NUL.
std::uint32_t readValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size);

// Places the key names of section in buffer, each followed by a NUL, and one more NUL; the
// default when the section lists none. Returns the count placed, without the final NUL; size-2
// when the names do not fit.
std::uint32_t readKeyNames(std::string_view text, std::string_view section,
                           std::string_view defaultValue, char* buffer, std::uint32_t size);

// The text with key of section set to value; nullopt when the text already holds that value.
std::optional<std::string> withValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value);

}  // namespace platform::posix::profile
