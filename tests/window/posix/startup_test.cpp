// Start-up finds the game from the registry and the default folder, in a throw-away prefix.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include "FormFixture.h"
#include "WinePrefix.h"

namespace {

using namespace testing_support;

// system.reg in the layout Wine 8 writes, holding the game's folder (nullptr: no game key).
std::string systemReg(const char* folder, bool win64) {
  std::string text = hive(
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1796656850\n#time=1dd865e8d1ebd50\n"
      "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n\n",
      win64 ? "win64" : "win32");
  if (!folder) return text;
  text += std::string("[Software\\\\") + (win64 ? "Wow6432Node\\\\" : "") +
          "Hasbro Interactive\\\\Gunship!] 1796656888\n#time=1dd865ea0a1b2c4\n\"Path\"=\"";
  for (const char* c = folder; *c; ++c)
    text += *c == '\\' ? std::string("\\\\") : std::string(1, *c);
  return text + "\"\n\n";
}

// What start-up leaves: both folder options with their boxes, the folder in use, the executable
// found and the Havoc slot (which only the registry's game folder holds).
std::string state(const Form1& f) {
  return std::string(f.Option1->value() ? "[x] " : "[ ] ") + f.Text1->text() +
         (f.Option2->value() ? " [x] " : " [ ] ") + f.Text2->text() + " -> " + f.GamePath + " " +
         f.GameExe + " / " + slots(f).substr(slots(f).rfind("| ") + 2);
}

TEST(Startup, FindsTheGameFromTheRegistryAndTheDefaultFolder) {
  enum Default { kNone, kFolder, kCapitals, kFile, kHidden };
  const struct {
    const char* name;
    const char* registry;  // nullptr: no game key
    bool win64;
    Default folder;
    std::string state;
  } cases[] = {
      {"registry alone", "C:\\Games\\Gunship!", false, kNone,
       "[ ] c:\\Gunship! [x] C:\\Games\\Gunship! -> C:\\Games\\Gunship! gunship.exe / Mi-28 Havoc "
       "Flight Model"},
      // The default folder lacks Havoc: the slot keeps what the registry folder's scan showed.
      {"both, registry scanned first", "C:\\Games\\Gunship!", true, kFolder,
       "[x] c:\\Gunship! [ ] C:\\Games\\Gunship! -> c:\\Gunship! gunship.exe / Mi-28 Havoc Flight "
       "Model (off)"},
      {"registry names the default", "c:\\Gunship!", false, kFolder,
       "[x] c:\\Gunship! [ ] c:\\Gunship! -> c:\\Gunship! gunship.exe / ? (off)"},
      {"empty registry value", "", false, kFolder,
       "[x] c:\\Gunship! [ ] c:\\Gunship! -> c:\\Gunship! gunship.exe / ? (off)"},
      {"default named but gone", "c:\\Gunship!", false, kNone,
       "[ ] c:\\Gunship! [ ] c:\\Gunship! ->   / ?"},
      {"empty value, no folder", "", false, kNone, "[ ] c:\\Gunship! [ ] c:\\Gunship! ->   / ?"},
      {"registry differs in case", "C:\\Gunship!", false, kFolder,
       "[x] c:\\Gunship! [ ] C:\\Gunship! -> c:\\Gunship! gunship.exe / ? (off)"},
      {"registry has a final backslash", "c:\\Gunship!\\", false, kFolder,
       "[x] c:\\Gunship! [ ] c:\\Gunship!\\ -> c:\\Gunship! gunship.exe / ? (off)"},
      {"no game key", nullptr, false, kNone, "[ ] c:\\Gunship! [x] Error -> Error  / ? (off)"},
      {"default stored in capitals", nullptr, false, kCapitals,
       "[x] c:\\GUNSHIP! [ ] Error -> c:\\GUNSHIP! gunship.exe / ? (off)"},
      {"a file named like the folder", nullptr, false, kFile,
       "[x] c:\\Gunship! [ ] Error -> c:\\Gunship!  / ? (off)"},
      {"hidden default folder", "", false, kHidden, "[ ] c:\\Gunship! [ ] c:\\Gunship! ->   / ?"},
  };
  std::string withoutHavoc = threeModelProfile("Tiger");
  withoutHavoc.erase(withoutHavoc.find("[HavocFlightModel]"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WinePrefix prefix;
    prefix.file("Games/Gunship!/data/custom.ini", threeModelProfile("Tiger"));
    prefix.file("Games/Gunship!/gunship.exe", "MZ");
    const std::string stored = c.folder == kCapitals ? "GUNSHIP!" : "Gunship!";
    if (c.folder == kFile) prefix.file(stored, "not a folder");
    if (c.folder != kNone && c.folder != kFile) {
      prefix.file(stored + "/data/custom.ini", withoutHavoc);
      prefix.file(stored + "/gunship.exe", "MZ");
    }
    const char hidden[] = "0x12";  // folder + hidden, as Wine records it
    if (c.folder == kHidden && ::setxattr((prefix.driveC() / stored).c_str(), "user.DOSATTRIB",
                                          hidden, sizeof hidden - 1, 0) != 0)
      continue;  // this file system keeps no user extended attributes
    prefix.writeHive("system.reg", systemReg(c.registry, c.win64));
    FreshForm window;
    window.form.Form_Load();
    EXPECT_EQ(state(window.form), c.state);
    EXPECT_TRUE(window.host.messages().empty());
  }
}

}  // namespace
