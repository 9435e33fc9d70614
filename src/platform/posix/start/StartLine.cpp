#include "platform/posix/start/StartLine.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string_view>

namespace platform::posix::prefix {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

// value in hex, digits long, after the escape's letters.
std::string hexEscape(std::string_view letters, std::uint32_t value, int digits) {
  std::string escape(letters);
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) escape += kDigits[value >> shift & 15];
  return escape;
}

// Whether c, a character, could break the line or change how the text around it shows: a
// line or paragraph separator (U+2028, U+2029) or a format character (the bidirectional
// overrides and isolates, zero-width characters, tags).
bool breaksOrFormats(UChar32 c) {
  const auto type = static_cast<UCharCategory>(u_charType(c));
  return type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

// text as it may be shown on a terminal: control characters (C0, DEL, C1), '\\' and bytes
// that are not UTF-8 escaped as \n, \r, \t, \\ or \xhh, and the characters
// breaksOrFormats names as \uhhhh (\Uhhhhhhhh beyond U+FFFF), so that it stays one line of
// the characters it names, in their order.
std::string escapedForTerminal(std::string_view text) {
  std::string shown;
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t at = 0; at < length;) {
    const std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(text.data(), at, length, c);
    if (c == '\\')
      shown += "\\\\";
    else if (c == '\n')
      shown += "\\n";
    else if (c == '\r')
      shown += "\\r";
    else if (c == '\t')
      shown += "\\t";
    else if (c < 0x20 || (c >= 0x7f && c <= 0x9f))  // also c < 0: not UTF-8
      for (std::int32_t i = start; i < at; ++i)
        shown += hexEscape("\\x", static_cast<unsigned char>(text[static_cast<std::size_t>(i)]), 2);
    else if (breaksOrFormats(c))
      shown += c > 0xffff ? hexEscape("\\U", static_cast<std::uint32_t>(c), 8)
                          : hexEscape("\\u", static_cast<std::uint32_t>(c), 4);
    else
      shown += text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start));
  }
  return shown;
}

// What chose the prefix, as the line shows it in parentheses.
std::string chosenBy(const Choice& choice) {
  const std::string place(choice.place);
  if (choice.winePrefix)
    return place.empty() ? "WINEPREFIX" : "WINEPREFIX; " + place + ": " + choice.source;
  if (!choice.holdsGame) return place + ", no prefix found holds the game";
  return choice.source.empty() ? place : place + ": " + choice.source;
}

}  // namespace

std::string describe(const Choice& choice) {
  std::string line = "kestrun: prefix " + choice.prefix.string() + " (" + chosenBy(choice) + "), ";
  const Launch& launch = choice.launch;
  if (launch.runner.empty()) {
    line += "no Wine found (" + launch.from + ")";
  } else {
    const char* kind = launch.kind == Launch::Kind::Proton ? "proton "
                       : launch.kind == Launch::Kind::Umu  ? "umu "
                                                           : "wine ";
    line += kind + launch.runner.string() + " (" + launch.from + ")";
    if (!launch.runtime.empty()) line += ", runtime " + launch.runtime.string();
    if (!launch.missingRuntime.empty()) line += ", runtime " + launch.missingRuntime + " missing";
  }
  return escapedForTerminal(line);
}

std::string describe(const Start& start) {
  std::string line = "kestrun: start";
  for (const std::string& argument : start.argv) line += " " + argument;
  if (start.argv.empty()) line += " nothing, no Wine found";
  if (!start.how.empty()) line += " (" + start.how + ")";
  return escapedForTerminal(line);
}

}  // namespace platform::posix::prefix
