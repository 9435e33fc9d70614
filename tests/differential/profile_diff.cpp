// The profile differential test: random operation sequences over random starting profiles, run
// through our Linux stand-ins and through the real Windows functions (the oracle, under Wine);
// every result must agree, and afterwards both files must read the same.
//
//   profile_diff --oracle PROFILE_ORACLE.EXE --work DIR [--sequences N] [--seed S] [--show N]
//                [--cached]
//
// The files are compared by what they read, never by their bytes: our writes keep every
// untouched line as it was, Windows rewrites the whole file.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Batch.h"
#include "platform/Platform.h"
#include "platform/posix/Profile.h"

extern char** environ;

namespace fs = std::filesystem;

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
    for (char& c : name) {
      if (chance(0.5)) continue;
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    }
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
  std::optional<std::string> profile(bool& emptyHeader) {
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

  std::optional<std::string> defaultValue() {
    const int kind = between(0, 19);
    switch (kind) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
        return std::string();
      case 6:
      case 7:
      case 8:
        return std::string("def");
      case 9:
        return std::string("def  ");
      case 10:
        return std::string("  d e  ");
      case 11:
        return std::string("   ");
      case 12:
        return std::string("\"q\"");
      case 13:
        return std::string("'q'");
      case 14:
        return std::nullopt;
      case 15:
        return word(1500);
      default:
        return printable(between(1, 10));
    }
  }

  std::string aroundBlanks(std::string name) {
    return chance(0.2) ? blanks() + name + blanks() : name;
  }

 private:
  std::mt19937_64 rng_;
  std::vector<std::string> chosenSections_;
  std::vector<std::string> chosenKeys_;
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The entry names of a profile's lines, as a read would match them.
std::vector<std::string> namesIn(const std::string& text) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = trimmed(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || (line[0] == '[' && line.find(']') != std::string::npos)) continue;
    names.push_back(trimmed(line.substr(0, line.find('='))));
  }
  return names;
}

struct Sequence {
  std::string file;
  std::optional<std::string> start;
};

// Builds the batch and the starting files (the same bytes in both folders).
std::string makeBatch(Generator& g, int count, const fs::path& linux, const fs::path& windows,
                      std::vector<Sequence>& sequences) {
  differential::Writer batch;
  batch.number(count);
  batch.endRecord();
  for (int s = 0; s < count; ++s) {
    g.chooseNames();
    Sequence seq{"s" + std::to_string(s) + ".ini", std::nullopt};
    bool emptyHeader = false;
    seq.start = g.profile(emptyHeader);
    if (seq.start) {
      for (const fs::path& dir : {linux, windows}) {
        std::ofstream f(dir / seq.file, std::ios::binary);
        f << *seq.start;
      }
    }
    // Windows' rewrite drops "[]" headers and merges their keys into the section above; ours
    // keeps them. Such files are only read.
    const bool writes = !emptyHeader;
    differential::Writer ops;
    int opCount = 0;
    for (int i = g.between(1, 10); i > 0; --i, ++opCount) {
      const int kind = g.between(0, 9);
      if (kind < 4 || (!writes && kind < 7)) {
        const int name = g.between(0, 19);
        ops.tag('R');
        ops.text(name < 17 ? g.aroundBlanks(g.section()) : name < 19 ? "Nope" : "");
        const int key = g.between(0, 24);
        ops.text(key < 21 ? g.aroundBlanks(g.key()) : key < 23 ? "Missing" : key < 24 ? "" : "  ");
        ops.text(g.defaultValue());
        ops.number(g.size());
      } else if (kind < 6 || !writes) {
        const int name = g.between(0, 19);
        ops.tag('R');
        ops.text(name < 16 ? g.aroundBlanks(g.section()) : name < 18 ? "Nope" : "");
        ops.text(std::nullopt);
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
    std::vector<std::string> sections = kSections;
    sections.push_back("New Sec");
    sections.push_back("");
    std::vector<std::string> keys = kKeys;
    keys.push_back("NewKey");
    keys.push_back("");
    if (seq.start) {  // and every name the starting file holds, however odd
      for (const std::string& name : namesIn(*seq.start))
        if (std::find(keys.begin(), keys.end(), name) == keys.end()) keys.push_back(name);
    }
    for (const std::string& section : sections) {
      ops.tag('D');
      ops.text(section);
      ops.number(static_cast<long long>(keys.size()));
      for (const std::string& key : keys) ops.text(key);
      ops.endRecord();
      ++opCount;
    }
    batch.tag('S');
    batch.text(seq.file);
    batch.number(opCount);
    batch.endRecord();
    batch.append(ops.str());
    sequences.push_back(std::move(seq));
  }
  return batch.str();
}

// ---- Running both sides -------------------------------------------------------------------

// What each of our calls was, beside its result: a mismatch is explained from it.
struct Call {
  std::string what;
  bool read = false;
  bool keyList = false;
  std::optional<std::string> defaultValue;
  std::uint32_t size = 0;
};
std::vector<Call> calls;
std::vector<std::string> notes;
void keepNote(const std::string& what) {
  notes.push_back(what);
  Call call;
  call.what = what;
  calls.push_back(call);
}

std::uint32_t ourRead(const char* section, const char* key, const char* defaultValue, char* buffer,
                      std::uint32_t size, const char* file) {
  Call& call = calls.back();
  call.read = true;
  call.keyList = key == nullptr;
  if (defaultValue) call.defaultValue = defaultValue;
  call.size = size;
  return platform::getPrivateProfileString(section, key, defaultValue, buffer, size, file);
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
  char quote = 0;
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    quote = v[0];
    v.erase(0, 1);
  }
  std::string out = v.substr(0, std::min<std::size_t>(v.size(), size - 1));
  if (quote && size >= v.size() && !out.empty()) out.pop_back();
  return out + '\0';
}

// Wine cuts trailing blanks of a value-mode default but always keeps its first character.
std::string wineTrim(std::string v) {
  while (v.size() > 1 && v.back() == ' ') v.pop_back();
  return v;
}

std::string ourTrim(std::string v) {
  while (!v.empty() && v.back() == ' ') v.pop_back();
  return v;
}

int ourWrite(const char* section, const char* key, const char* value, const char* file) {
  return platform::writePrivateProfileString(section, key, value, file);
}

// The Windows path under which Wine's drive Z: shows a host path.
std::string windowsPath(const fs::path& path) {
  std::string s = "Z:" + fs::absolute(path).lexically_normal().string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

bool readFile(const fs::path& path, std::string& text) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream all;
  all << f.rdbuf();
  text = all.str();
  return true;
}

int runOracle(const fs::path& oracle, const fs::path& batch, const fs::path& results,
              const fs::path& dir, const fs::path& prefix, bool cached) {
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  ::setenv("WINEDEBUG", "-all", 1);
  ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
  std::vector<std::string> args = {"wine", oracle.string(), windowsPath(batch),
                                   windowsPath(results), windowsPath(dir) + "\\"};
  if (cached) args.push_back("--cached");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "wine", nullptr, nullptr, argv.data(), environ) != 0) {
    std::cerr << "profile_diff: cannot start wine (is it installed?)\n";
    return -1;
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shown(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\0') {
      out += "\\0";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\n      ";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c > 0x7e) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  if (out.size() > 600)
    out = out.substr(0, 300) + " ...(" + std::to_string(bytes.size()) + " bytes)... " +
          out.substr(out.size() - 100);
  return out;
}

struct Record {
  char tag = 0;
  long long number = 0;
  std::string bytes;
};

std::vector<Record> records(const std::string& text, bool& ok) {
  std::vector<Record> out;
  differential::Reader in(text);
  while (!in.atEnd() && in.ok()) {
    Record r;
    r.tag = in.tag();
    r.number = in.number();
    if (r.tag == 'r') r.bytes = in.text().value_or("");
    out.push_back(std::move(r));
  }
  ok = in.ok();
  return out;
}

const char* settled(const Call& call, const Record& ours, const Record& theirs) {
  if (!call.read || ours.tag != 'r' || theirs.tag != 'r') return nullptr;
  const std::string def = call.defaultValue.value_or("");
  const std::uint32_t size = call.size;
  const std::string& a = ours.bytes;
  const std::string& b = theirs.bytes;
  if (!call.keyList) {
    // The default as given (trailing blanks cut) against Wine's quote-stripped, blank-kept copy.
    if (a == placed(ourTrim(def), size) &&
        (b == wineCopy(wineTrim(def), size) || b == placed(wineTrim(def), size)))
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
      a != placed(ourTrim(def), size))
    return "Wine returns the default for a key list that starts with an empty name";
  if (firstText(a) == placed(def, size) && firstText(b) == wineCopy(def, size))
    return "Wine unquotes the default of a key list";
  // Wine keeps only the first of consecutive entries with an empty name ("=a" then "=b").
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
  if (a != b && collapsed(a) == collapsed(b))
    return "Wine drops an empty-named entry that follows another";
  // The same, where the dropped name changes where a list that does not fit is cut: the two
  // agree up to the shorter one's cut.
  const std::string ca = collapsed(a), cb = collapsed(b);
  const std::size_t common = std::min(ca.size(), cb.size());
  if (a.find(std::string("\0\0\0", 3)) < static_cast<std::size_t>(ours.number) && common > 2 &&
      ca.compare(0, common - 2, cb, 0, common - 2) == 0)
    return "Wine drops an empty-named entry that follows another";
  return nullptr;
}

std::string describe(const Record& r) {
  if (r.tag == 'w') return "status " + std::to_string(r.number);
  return "count " + std::to_string(r.number) + " \"" + shown(r.bytes) + "\"";
}

int usage() {
  std::cerr << "usage: profile_diff --oracle EXE --work DIR [--sequences N] [--seed S] [--show N]"
               " [--cached]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path oracle, work;
  int count = 2000, show = 8;
  std::uint64_t seed = 1;
  bool cached = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--oracle" && more)
      oracle = argv[++i];
    else if (a == "--work" && more)
      work = argv[++i];
    else if (a == "--sequences" && more)
      count = std::atoi(argv[++i]);
    else if (a == "--seed" && more)
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--show" && more)
      show = std::atoi(argv[++i]);
    else if (a == "--cached")
      cached = true;
    else
      return usage();
  }
  if (oracle.empty() || work.empty() || count <= 0) return usage();

  work = fs::absolute(work);
  const fs::path linux = work / "linux", windows = work / "windows";
  std::error_code ec;
  fs::remove_all(linux, ec);
  fs::remove_all(windows, ec);
  fs::create_directories(linux);
  fs::create_directories(windows);

  Generator generator(seed);
  std::vector<Sequence> sequences;
  const std::string batch = makeBatch(generator, count, linux, windows, sequences);
  {
    std::ofstream f(work / "batch.txt", std::ios::binary);
    f << batch;
  }

  const fs::path theirsFile = work / "windows.txt";
  fs::remove(theirsFile, ec);
  const int status =
      runOracle(oracle, work / "batch.txt", theirsFile, windows, work / "wineprefix", cached);
  std::string theirs;
  if (status != 0 || !readFile(theirsFile, theirs)) {
    std::cerr << "profile_diff: the oracle failed under wine (status " << status << ")\n";
    return 1;
  }

  platform::posix::setProfileSync(false);
  differential::Writer mine;
  if (!differential::runBatch(batch, (linux / "").string(), {ourRead, ourWrite, keepNote}, mine)) {
    std::cerr << "profile_diff: malformed batch\n";
    return 1;
  }
  {
    std::ofstream f(work / "linux.txt", std::ios::binary);
    f << mine.str();
  }

  bool okOurs = true, okTheirs = true;
  const auto ours = records(mine.str(), okOurs);
  const auto windowsRecords = records(theirs, okTheirs);
  if (!okOurs || !okTheirs || ours.size() != notes.size()) {
    std::cerr << "profile_diff: a result file is malformed\n";
    return 1;
  }
  // Where each sequence starts in either file: a key list that differs changes how many reads
  // its dump makes, so the files are compared sequence by sequence, up to the first difference.
  auto starts = [](const std::vector<Record>& r) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < r.size(); ++i)
      if (r[i].tag == 's') at.push_back(i);
    at.push_back(r.size());
    return at;
  };
  const auto ourStarts = starts(ours), theirStarts = starts(windowsRecords);
  if (ourStarts.size() != static_cast<std::size_t>(count) + 1 ||
      theirStarts.size() != ourStarts.size()) {
    std::cerr << "profile_diff: the oracle did not run every sequence\n";
    return 1;
  }

  long long badSequences = 0;
  int shownCount = 0;
  std::map<std::string, long long> known;
  for (int s = 0; s < count; ++s) {
    std::size_t i = ourStarts[s], j = theirStarts[s];
    const std::size_t iEnd = ourStarts[s + 1], jEnd = theirStarts[s + 1];
    while (i < iEnd && j < jEnd) {
      const Record& a = ours[i];
      const Record& b = windowsRecords[j];
      if (a.tag != b.tag || a.number != b.number || a.bytes != b.bytes) {
        const char* why = settled(calls[i], a, b);
        if (!why) break;
        ++known[why];
      }
      ++i;
      ++j;
    }
    if (i == iEnd && j == jEnd) continue;
    ++badSequences;
    if (shownCount++ >= show) continue;
    const Sequence& seq = sequences[static_cast<std::size_t>(s)];
    std::cout << "MISMATCH in sequence " << s << " (" << seq.file
              << ") at: " << (i < iEnd ? notes[i] : std::string("(our results end)"))
              << "\n  ours:    " << (i < iEnd ? describe(ours[i]) : "-")
              << "\n  Windows: " << (j < jEnd ? describe(windowsRecords[j]) : "-")
              << "\n  started as: "
              << (seq.start ? "\"" + shown(*seq.start) + "\"" : std::string("no file"))
              << "\n  calls up to there:\n";
    for (std::size_t k = ourStarts[s] + 1; k <= i && k < iEnd; ++k)
      if (!notes[k].starts_with("dump")) std::cout << "    " << notes[k] << "\n";
  }
  std::cout << "profile_diff: " << count << " sequences (seed " << seed << "), " << ours.size()
            << " results; " << badSequences << " sequences disagree\n";
  for (const auto& [why, n] : known)
    std::cout << "  settled difference, " << n << " times: " << why << "\n";
  return badSequences == 0 ? 0 : 1;
}
