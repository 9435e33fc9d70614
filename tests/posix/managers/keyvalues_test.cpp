// Steam's KeyValues, text and binary: what the readers make of well-formed and damaged input.
#include "platform/posix/managers/KeyValues.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/posix/managers/BinaryKeyValues.h"

namespace {

namespace kv = platform::posix::keyvalues;

// The entries in one line: key=value, key{...}, entries separated by blanks.
std::string shown(const std::vector<kv::Entry>& entries) {
  std::string text;
  for (const kv::Entry& entry : entries) {
    if (!text.empty()) text += ' ';
    text += entry.key + (entry.isBlock ? "{" + shown(entry.entries) + "}" : "=" + entry.value);
  }
  return text;
}

// Blocks nested depth deep, as shown() shows them: k{k{...k{}...}}.
std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text.insert(2 * i, "k{}");
  return text;
}

TEST(KeyValues, ReadsQuotedAndBareTokensBlocksEscapesAndComments) {
  const struct {
    const char* name;
    std::string text;
    std::optional<std::string> read;  // nullopt: refused
  } cases[] = {
      {"libraryfolders, tabs and line breaks",
       "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/ann/Steam\"\n\t}\n}\n",
       "libraryfolders{0{path=/home/ann/Steam}}"},
      {"bare words end at blanks, quotes and braces", "a b c\"d\"e{f g}", "a=b c=d e{f=g}"},
      {"escapes; another character after a backslash stays", R"("k" "a\"b\\c\nd\te\q")",
       "k=a\"b\\c\nd\te\\q"},
      {"a quoted string spans lines and keeps //", "\"k\" \"x\n// y\"", "k=x\n// y"},
      {"comments where a token could begin", "// head\nk v // tail\n// end", "k=v"},
      {"repeated keys are kept in order", "k 1 K 2", "k=1 K=2"},
      {"empty text and empty blocks", "a {} \"\" \"\"", "a{} ="},
      {"a string left open", "\"k\" \"v", std::nullopt},
      {"a block left open", "a { b c", std::nullopt},
      {"a } without its {", "a b }", std::nullopt},
      {"a key without a value", "a { b }", std::nullopt},
      {"a value where a key was due", "{ }", std::nullopt},
      {"64 blocks deep", nested(64), nested(64)},
      {"65 blocks deep", nested(65), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto entries = kv::parse(c.text);
    EXPECT_EQ(entries ? std::optional(shown(*entries)) : std::nullopt, c.read);
  }
}

TEST(KeyValues, LooksUpTheFirstKeyWithoutRegardToAsciiCase) {
  const auto entries = kv::parse(
      "InstallConfigStore { software { VALVE { Steam { CompatToolMapping {"
      " \"3391826345\" { name GE-Proton9 } 3391826345 { name other } } } } } }"
      " \xC3\x84 { name u }");
  ASSERT_TRUE(entries);
  const kv::Entry* mapping = kv::block(
      *entries, {"installconfigstore", "Software", "Valve", "STEAM", "compattoolmapping"});
  EXPECT_EQ(kv::valueOf(kv::block(mapping->entries, {"3391826345"}), "NAME"), "GE-Proton9");
  EXPECT_EQ(kv::block(*entries, {"\xC3\xA4"}), nullptr);  // only ASCII letters fold
  EXPECT_EQ(kv::block(*entries, {"InstallConfigStore", "Software", "Valve", "Steam", "x"}),
            nullptr);
  EXPECT_EQ(kv::valueOf(mapping, "3391826345"), "");  // a block, not a value
  EXPECT_EQ(kv::valueOf(nullptr, "name"), "");
}

// Binary KeyValues, built from its parts: a block, a string, a 32-bit integer, an end byte.
std::string binaryBlock(const std::string& name, const std::string& inner) {
  return std::string(1, '\x00') + name + '\0' + inner + '\x08';
}
std::string binaryString(const std::string& name, const std::string& value) {
  return '\x01' + name + '\0' + value + '\0';
}
std::string binaryInt(const std::string& name, std::uint32_t value) {
  std::string bytes = '\x02' + name + '\0';
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xff);
  return bytes;
}
std::string binaryNested(int depth) {
  return depth == 0 ? std::string() : binaryBlock("k", binaryNested(depth - 1));
}

TEST(BinaryKeyValues, ReadsAShortcutsFileAndRefusesDamagedBytes) {
  const std::string shortcut =
      binaryInt("appid", 0xca2b8ca9) + binaryString("AppName", "Gunship!") +
      binaryString("Exe", "\"/g/gunship.exe\"") + binaryBlock("tags", binaryString("0", "x"));
  const std::string file = binaryBlock("shortcuts", binaryBlock("0", shortcut)) + '\x08';
  const std::string read =
      "shortcuts{0{appid=3391851689 AppName=Gunship! Exe=\"/g/gunship.exe\" tags{0=x}}}";
  const struct {
    const char* name;
    std::string bytes;
    std::optional<std::string> read;  // nullopt: refused
  } cases[] = {
      {"a shortcut; a negative appid read as unsigned", file, read},
      {"bytes after the top-level end are ignored", file + "\x02junk", read},
      {"no top-level end: the end of the bytes", binaryString("a", "") + binaryInt("b", 7),
       "a= b=7"},
      {"nothing at all", "", ""},
      {"another type byte", std::string("\x07k\0") + std::string(8, '\0'), std::nullopt},
      {"a string without its NUL", "\x01k\0value", std::nullopt},
      {"an integer cut off", std::string("\x02k\0\x01\x02\x03", 6), std::nullopt},
      {"a block left open", binaryBlock("a", "").substr(0, 3), std::nullopt},
      {"64 blocks deep", binaryNested(64), nested(64)},
      {"65 blocks deep", binaryNested(65), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto entries = platform::posix::binarykeyvalues::parse(c.bytes);
    EXPECT_EQ(entries ? std::optional(shown(*entries)) : std::nullopt, c.read);
  }
}

}  // namespace
