// The profile differential test: random operation sequences over random starting profiles, run
// through our Linux stand-ins and through the real Windows functions (the oracle, under Wine);
// every result must agree, and afterwards both files must read the same.
//
//   profile_diff --oracle PROFILE_ORACLE.EXE --work DIR [--sequences N] [--seed S]
//
// The files are compared by what they read, never by their bytes: our writes keep every
// untouched line as it was, Windows rewrites the whole file.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Batch.h"
#include "platform/Platform.h"
#include "platform/posix/profile/ProfileHooks.h"

extern char** environ;

namespace fs = std::filesystem;
using differential::kDumpSize;
using differential::Text;

namespace {

// ---- The generator -------------------------------------------------------------------------

const std::vector<std::string> kSections = {"Main",         "Settings", "Gunship",
                                            "Flight Model", "Data",     "x"};
const std::vector<std::string> kKeys = {"Path", "Model", "Key",  "Key2", "Name",
                                        "a b",  "#Hash", "Mode", "Long"};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}
  int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(between(0, static_cast<int>(v.size()) - 1))];
  }
  std::string blanks() {
    static const std::vector<std::string> kinds = {" ", "  ", "\t", " \t "};
    return chance(0.75) ? std::string() : pick(kinds);
  }

  // The name with its letters' case changed at random.
  std::string recase(std::string name) {
    if (chance(0.5)) return name;
    for (char& c : name)
      if (!chance(0.5) && std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
    return name;
  }
  std::string printable(int length) {
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(static_cast<char>(between(0x20, 0x7e)));
    return s;
  }
  std::string word(int length) {
    static const std::string letters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(letters[static_cast<std::size_t>(between(0, 61))]);
    return s;
  }

  // A value as a file or a write may hold it: quoted, empty, long, with '=' or ';' inside...
  std::string value() {
    const int kind = between(0, 99);
    if (kind < 30) return word(between(1, 8)) + (chance(0.3) ? " " + word(between(1, 5)) : "");
    if (kind < 40) return "\"" + word(between(0, 6)) + (chance(0.3) ? " " : "") + "\"";
    if (kind < 45) return "'" + word(between(0, 6)) + "'";
    if (kind < 50) return chance(0.5) ? "\"" + word(between(1, 5)) + "'" : "'" + word(3);
    if (kind < 53) return "\"";
    if (kind < 56) return "\"\"";
    if (kind < 62) return "";
    if (kind < 68) return word(between(1000, 1300));
    if (kind < 76) return word(3) + (chance(0.5) ? " ; note" : "=" + word(2));
    if (kind < 80) return "\"" + word(between(1020, 1030)) + "\"";
    return printable(between(1, 24));
  }
  std::string section() { return recase(pick(chosenSections_)); }
  std::string key() { return recase(pick(chosenKeys_)); }
  void chooseNames() {
    chosenSections_.clear();
    chosenKeys_.clear();
    for (int i = between(2, 4); i > 0; --i) chosenSections_.push_back(pick(kSections));
    for (int i = between(3, 6); i > 0; --i) chosenKeys_.push_back(pick(kKeys));
  }
  std::string entryLine() {
    const int kind = between(0, 99);
    if (kind < 62) return blanks() + key() + blanks() + "=" + blanks() + value() + blanks();
    if (kind < 68) return blanks() + ";" + printable(between(0, 20));
    if (kind < 73) return "#" + (chance(0.5) ? printable(between(0, 12)) : "Hash=" + value());
    if (kind < 80) return blanks() + key() + blanks();  // an entry without '='
    if (kind < 88) return blanks();                     // blank or blanks only
    if (kind < 91) return "[" + word(4);                // no ']': an ordinary line
    if (kind < 94) return blanks() + "=" + value();
    return blanks() + key() + "=" + printable(between(0, 30));
  }
  std::string headerLine(const std::string& name) {
    std::string line = blanks() + "[" + blanks() + name + blanks() + "]";
    if (chance(0.1)) line += " " + word(3);  // text after the header is ignored
    return line + blanks();
  }

  // A starting profile; std::nullopt for no file. emptyHeader tells whether it has "[]".
  Text profile(bool& emptyHeader) {
    emptyHeader = false;
    if (chance(0.04)) return std::nullopt;
    if (chance(0.04)) return std::string();
    std::vector<std::string> lines;
    if (chance(0.25))
      for (int i = between(1, 3); i > 0; --i) lines.push_back(entryLine());
    for (int s = between(0, 5); s > 0; --s) {
      if (chance(0.04)) {
        lines.push_back("[]");
        emptyHeader = true;
      } else {
        lines.push_back(headerLine(section()));
      }
      for (int i = between(0, 6); i > 0; --i) lines.push_back(entryLine());
    }
    const int endings = between(0, 2);  // LF, CRLF, or a mixture
    static const std::vector<std::string> mixed = {"\n", "\r\n", "\r", "\r\n\r\n", "\n\n"};
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      if (i + 1 == lines.size() && chance(0.2)) break;  // no final line break
      text += endings == 0 ? "\n" : endings == 1 ? "\r\n" : pick(mixed);
    }
    return text;
  }
  std::uint32_t size() {
    const int kind = between(0, 9);
    if (kind < 3) return static_cast<std::uint32_t>(between(1, 6));
    if (kind < 6) return static_cast<std::uint32_t>(between(7, 64));
    return static_cast<std::uint32_t>(between(65, 1100));
  }
  Text defaultValue() {
    static const char* const fixed[] = {"def  ", "  d e  ", "   ", "\"q\"", "'q'"};
    const int kind = between(0, 19);
    if (kind < 9) return kind < 6 ? "" : "def";
    if (kind < 14) return fixed[kind - 9];
    if (kind < 16) return kind == 14 ? Text() : word(1500);
    return printable(between(1, 10));
  }
  std::string aroundBlanks(std::string name) {
    return chance(0.2) ? blanks() + name + blanks() : name;
  }

 private:
  std::mt19937_64 rng_;
  std::vector<std::string> chosenSections_;
  std::vector<std::string> chosenKeys_;
};

std::string trimmed(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t\v\f\r\n");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t\v\f\r\n") + 1 - b);
}

// The entry names of a profile's lines, as a read would match them.
std::vector<std::string> namesIn(const std::string& text) {
  std::vector<std::string> names;
  for (std::size_t at = 0, end = 0; at < text.size(); at = end + 1) {
    end = std::min(text.find_first_of("\r\n", at), text.size());
    const std::string line = trimmed(text.substr(at, end - at));
    if (line.empty() || (line[0] == '[' && line.find(']') != std::string::npos)) continue;
    names.push_back(trimmed(line.substr(0, line.find('='))));
  }
  return names;
}

// Builds the batch, and the starting files (the same bytes in both folders); starts gets each
// sequence's starting file, std::nullopt for none.
std::string makeBatch(Generator& g, int count, const fs::path& linux, const fs::path& windows,
                      std::vector<Text>& starts) {
  differential::Writer batch;
  batch.number(count);
  batch.endRecord();
  for (int s = 0; s < count; ++s) {
    g.chooseNames();
    const std::string file = "s" + std::to_string(s) + ".ini";
    bool emptyHeader = false;
    const Text start = g.profile(emptyHeader);
    if (start)
      for (const fs::path& dir : {linux, windows}) differential::writeFile(dir / file, *start);
    // Windows' rewrite drops "[]" headers and merges their keys into the section above; ours
    // keeps them. Such files are only read.
    const bool writes = !emptyHeader;
    differential::Writer ops;
    int opCount = 0;
    for (int i = g.between(1, 10); i > 0; --i, ++opCount) {
      const int kind = g.between(0, 9);
      if (kind < 6 || !writes) {  // a value read, or a key list read
        const bool list = !(kind < 4 || (!writes && kind < 7));
        const int name = g.between(0, 19);
        ops.tag('R');
        ops.text(name < (list ? 16 : 17)   ? g.aroundBlanks(g.section())
                 : name < (list ? 18 : 19) ? "Nope"
                                           : "");
        if (list) {
          ops.text(std::nullopt);
        } else {
          const int key = g.between(0, 24);
          ops.text(key < 21   ? g.aroundBlanks(g.key())
                   : key < 23 ? "Missing"
                   : key < 24 ? ""
                              : "  ");
        }
        ops.text(g.defaultValue());
        ops.number(g.size());
      } else {
        ops.tag('W');
        ops.text(g.chance(0.1) ? g.aroundBlanks("New " + g.recase("Sec"))
                               : g.aroundBlanks(g.section()));
        ops.text(g.chance(0.1) ? g.aroundBlanks(g.recase("NewKey")) : g.aroundBlanks(g.key()));
        ops.text(g.chance(0.15) ? g.blanks() + g.value() + g.blanks() : g.value());
      }
      ops.endRecord();
    }
    // Every section and key the batch names, and every name the starting file holds, however odd.
    std::vector<std::string> sections = kSections, keys = kKeys;
    sections.insert(sections.end(), {"New Sec", ""});
    keys.insert(keys.end(), {"NewKey", ""});
    for (const std::string& name : start ? namesIn(*start) : std::vector<std::string>())
      if (std::find(keys.begin(), keys.end(), name) == keys.end()) keys.push_back(name);
    for (const std::string& section : sections) {
      ops.tag('D');
      ops.text(section);
      ops.number(static_cast<long long>(keys.size()));
      for (const std::string& key : keys) ops.text(key);
      ops.endRecord();
      ++opCount;
    }
    batch.tag('S');
    batch.text(file);
    batch.number(opCount);
    batch.endRecord();
    batch.append(ops.str());
    starts.push_back(start);
  }
  return batch.str();
}

// ---- Our side: each call is kept beside its result, to settle or explain a mismatch --------

struct Call {
  std::string what;
  bool read = false, keyList = false;
  std::string defaultValue;
  std::uint32_t size = 0;
};
std::vector<Call> calls;

std::string named(const char* s) {
  return s ? "'" + std::string(s) + "'" : "(null)";
}

std::uint32_t ourRead(const char* section, const char* key, const char* defaultValue, char* buffer,
                      std::uint32_t size, const char* file) {
  calls.push_back({"read [" + named(section) + "] " + (key ? "key " + named(key) : "key list") +
                       " default " + named(defaultValue) + " size " + std::to_string(size),
                   true, key == nullptr, defaultValue ? defaultValue : "", size});
  return platform::getPrivateProfileString(section, key, defaultValue, buffer, size, file);
}

int ourWrite(const char* section, const char* key, const char* value, const char* file) {
  calls.push_back(
      {"write [" + named(section) + "] " + named(key) + " = " + named(value), false, false, "", 0});
  return platform::writePrivateProfileString(section, key, value, file);
}

// ---- Differences that are settled ------------------------------------------------------------
//
// Each of these was traced to Wine and judged against Windows' documented behaviour; ours is the
// documented one. They are counted and reported, not failed. Anything else fails.

// The meaningful bytes a read leaves for text s, copied as Windows documents: min(len, size-1)
// bytes and a NUL.
std::string placed(const std::string& s, std::uint32_t size) {
  return s.substr(0, std::min<std::size_t>(s.size(), size - 1)) + '\0';
}

// Wine's copy of a default: one pair of quotes dropped as from a stored value, and the closing
// quote cut one byte early when the text only just fits.
std::string wineCopy(std::string v, std::uint32_t size) {
  const bool quoted = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
  if (quoted) v.erase(0, 1);
  std::string out = v.substr(0, std::min<std::size_t>(v.size(), size - 1));
  if (quoted && size >= v.size() && !out.empty()) out.pop_back();
  return out + '\0';
}

// Trailing blanks cut: Wine always keeps a value-mode default's first character, we do not.
std::string trimmedEnd(std::string v, std::size_t keep) {
  while (v.size() > keep && v.back() == ' ') v.pop_back();
  return v;
}

struct Record {
  char tag = 0;
  long long number = 0;
  std::string bytes;
  bool operator==(const Record&) const = default;
};

const char* settled(const Call& call, const Record& ours, const Record& theirs) {
  if (!call.read || ours.tag != 'r' || theirs.tag != 'r') return nullptr;
  const std::string& def = call.defaultValue;
  const std::uint32_t size = call.size;
  const std::string &a = ours.bytes, &b = theirs.bytes;
  if (!call.keyList) {
    // The default as given (trailing blanks cut) against Wine's quote-stripped, blank-kept copy.
    const std::string wineDefault = trimmedEnd(def, 1);
    if (a == placed(trimmedEnd(def, 0), size) &&
        (b == wineCopy(wineDefault, size) || b == placed(wineDefault, size)))
      return "Wine unquotes the default and keeps one blank of an all-blank default";
    // A quoted value that just fits: Wine drops its last character with the closing quote.
    if (ours.number == static_cast<long long>(size) - 1 && theirs.number + 1 == ours.number &&
        b.size() + 1 == a.size() && a.compare(0, b.size() - 1, b, 0, b.size() - 1) == 0)
      return "Wine cuts a quoted value that just fits one byte short";
    return nullptr;
  }
  // A cut key list: Windows ends it with two NULs, Wine writes only the first.
  if (ours.number == theirs.number && ours.number + 2 == static_cast<long long>(size) &&
      a.size() == b.size() && a.back() == '\0' && b.back() == differential::kUntouched &&
      a.compare(0, a.size() - 1, b, 0, b.size() - 1) == 0)
    return "Wine ends a cut key list with one NUL";
  // Wine takes a list whose first byte is NUL (an empty first name, or a buffer of 2) for "none
  // listed" and returns the default, quote-stripped.
  auto firstText = [](const std::string& x) { return x.substr(0, x.find('\0') + 1); };
  if (!a.empty() && a[0] == '\0' &&
      (firstText(b) == wineCopy(def, size) || firstText(b) == placed(def, size)) &&
      a != placed(trimmedEnd(def, 0), size))
    return "Wine returns the default for a key list that starts with an empty name";
  if (firstText(a) == placed(def, size) && firstText(b) == wineCopy(def, size))
    return "Wine unquotes the default of a key list";
  // Wine keeps only the first of consecutive entries with an empty name ("=a" then "=b"); where
  // that moves where a list that does not fit is cut, the two agree up to the shorter one's cut.
  auto collapsed = [](const std::string& list) {
    std::string out;
    bool lastEmpty = false;
    for (std::size_t at = 0; at < list.size();) {
      const std::size_t nul = list.find('\0', at);
      const std::string name = list.substr(at, nul == std::string::npos ? nul : nul - at);
      if (!(name.empty() && lastEmpty && nul + 1 < list.size())) out += name + '\0';
      lastEmpty = name.empty();
      at = nul == std::string::npos ? list.size() : nul + 1;
    }
    return out;
  };
  const std::string ca = collapsed(a), cb = collapsed(b);
  const std::size_t common = std::min(ca.size(), cb.size());
  if ((a != b && ca == cb) ||
      (a.find(std::string("\0\0\0", 3)) < static_cast<std::size_t>(ours.number) && common > 2 &&
       ca.compare(0, common - 2, cb, 0, common - 2) == 0))
    return "Wine drops an empty-named entry that follows another";
  return nullptr;
}

// ---- Running and comparing -------------------------------------------------------------------

// The Windows path under which Wine's drive Z: shows a host path.
std::string windowsPath(const fs::path& path) {
  std::string s = "Z:" + fs::absolute(path).lexically_normal().string();
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

int runOracle(const fs::path& oracle, const fs::path& work) {
  ::setenv("WINEPREFIX", (work / "wineprefix").c_str(), 1);
  ::setenv("WINEDEBUG", "-all", 1);
  ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
  std::string args[] = {"wine", oracle.string(), windowsPath(work / "batch.txt"),
                        windowsPath(work / "windows.txt"), windowsPath(work / "windows") + "\\"};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(),
                  args[3].data(), args[4].data(), nullptr};
  pid_t pid = 0;
  int status = 0;
  if (::posix_spawnp(&pid, "wine", nullptr, nullptr, argv, environ) != 0 ||
      ::waitpid(pid, &status, 0) < 0)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shown(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    out += c == '\0'              ? "\\0"
           : c == '\r'            ? "\\r"
           : c == '\n'            ? "\\n\n      "
           : c == '\t'            ? "\\t"
           : c < 0x20 || c > 0x7e ? hex
                                  : std::string(1, static_cast<char>(c));
  }
  if (out.size() > 600)
    out = out.substr(0, 300) + " ...(" + std::to_string(bytes.size()) + " bytes)... " +
          out.substr(out.size() - 100);
  return out;
}

std::string describe(const Record& r) {
  if (r.tag == 'w') return "status " + std::to_string(r.number);
  return "count " + std::to_string(r.number) + " \"" + shown(r.bytes) + "\"";
}

// The records of a result file; empty when it is malformed.
std::vector<Record> records(const std::string& text) {
  std::vector<Record> out;
  differential::Reader in(text);
  while (!in.atEnd() && in.ok()) {
    Record r{in.tag(), in.number(), ""};
    if (r.tag == 'r') r.bytes = in.text().value_or("");
    out.push_back(std::move(r));
  }
  return in.ok() ? out : std::vector<Record>();
}

}  // namespace

int main(int argc, char** argv) {
  fs::path oracle, work;
  int count = 2000;
  std::uint64_t seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--oracle") oracle = argv[i + 1];
    if (a == "--work") work = fs::absolute(argv[i + 1]);
    if (a == "--sequences") count = std::atoi(argv[i + 1]);
    if (a == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
  }
  if (oracle.empty() || work.empty() || count <= 0 || argc % 2 == 0) {
    std::cerr << "usage: profile_diff --oracle EXE --work DIR [--sequences N] [--seed S]\n";
    return 2;
  }
  const fs::path linux = work / "linux", windows = work / "windows";
  for (const fs::path& dir : {linux, windows}) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  Generator generator(seed);
  std::vector<Text> starts;
  const std::string batch = makeBatch(generator, count, linux, windows, starts);
  std::string theirText;
  fs::remove(work / "windows.txt");
  if (!differential::writeFile(work / "batch.txt", batch) || runOracle(oracle, work) != 0 ||
      !differential::readFile(work / "windows.txt", theirText)) {
    std::cerr << "profile_diff: the oracle failed under wine (is wine installed?)\n";
    return 1;
  }
  platform::posix::setProfileSync(false);
  differential::Writer mine;
  differential::runBatch(batch, (linux / "").string(), {ourRead, ourWrite}, mine);
  differential::writeFile(work / "linux.txt", mine.str());

  // Both files hold the same records in the same order: one per call the batch makes, and one
  // at the start of each sequence. Sequence by sequence, up to its first difference that is not
  // settled.
  const auto ours = records(mine.str()), theirs = records(theirText);
  if (ours.size() != theirs.size() ||
      ours.size() != calls.size() + static_cast<std::size_t>(count)) {
    std::cerr << "profile_diff: a result file is malformed or short\n";
    return 1;
  }
  long long badSequences = 0;
  std::map<std::string, long long> known;
  for (std::size_t i = 0, s = 0, first = 0; i < ours.size(); ++i) {
    if (ours[i].tag == 's') {
      s = static_cast<std::size_t>(ours[i].number);
      first = i + 1;
    }
    if (ours[i] == theirs[i]) continue;
    const Call start{"the sequence's start", false, false, "", 0};
    const Call& call = ours[i].tag == 's' ? start : calls[i - s - 1];
    const char* why = settled(call, ours[i], theirs[i]);
    if (why) {
      ++known[why];
      continue;
    }
    if (badSequences++ < 8) {
      std::cout << "MISMATCH in sequence " << s << " at: " << call.what
                << "\n  ours:    " << describe(ours[i]) << "\n  Windows: " << describe(theirs[i])
                << "\n  started as: " << (starts[s] ? "\"" + shown(*starts[s]) + "\"" : "no file")
                << "\n  calls up to there:\n";
      for (std::size_t k = first; k < i; ++k)
        if (calls[k - s - 1].size != kDumpSize)
          std::cout << "    " << calls[k - s - 1].what << "\n";
    }
    while (i + 1 < ours.size() && ours[i + 1].tag != 's') ++i;  // on to the next sequence
  }
  std::cout << "profile_diff: " << count << " sequences (seed " << seed << "), " << ours.size()
            << " results; " << badSequences << " sequences disagree\n";
  for (const auto& [why, n] : known)
    std::cout << "  settled difference, " << n << " times: " << why << "\n";
  return badSequences == 0 ? 0 : 1;
}
