#include "platform/posix/registry/Hive.h"

#include <algorithm>

#include "platform/posix/Text.h"
#include "platform/posix/registry/HiveText.h"

namespace platform::posix::hive {

const std::vector<std::u16string> kClasses = {u"SOFTWARE", u"CLASSES"};

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kBaseComment = ";; All keys relative to ";
constexpr std::u16string_view kLinkValue = u"SYMBOLICLINKVALUE";
constexpr std::u16string_view kDefaultUser = u".DEFAULT";
constexpr std::u16string_view kWineUser = u"S-1-5-21-0-0-0-1000";
const std::vector<std::u16string> kClassesWow = {u"SOFTWARE", u"CLASSES", u"WOW6432NODE"};

// What one pass learned about the keys a walk along a route may visit: a tree holding only keys
// that exist, each with at most two children (the route's next component, and a Wow6432Node
// stepped into before it), and for the keys that lines name, where their sections begin and
// whether they are symbolic links.
//
// A route is the stored path a walk may take through one file: the first `fixed` components
// are followed as stored; when view32 is set and the hive is win64, the walk may step into a
// child Wow6432Node before each later component that is not itself Wow6432Node, and after the
// last.
struct Route {
  const std::vector<std::u16string>& parts;
  std::size_t fixed = 0;
  bool view32 = false;
};

struct Survey {
  using Id = std::uint32_t;
  static constexpr Id kNone = UINT32_MAX;
  static constexpr Id kRoot = 0;
  struct Node {
    Id parent = kNone, next = kNone, wow = kNone;
    std::uint32_t consumed = 0;  // how many of the route's components lie on the way to it
    bool isWow = false;          // named Wow6432Node
    bool stepped = false;  // a Wow6432Node the 32-bit view stepped into, not a part of the route
    bool link = false;     // "#link"
    std::optional<Value> target;                    // its SymbolicLinkValue
    std::uint64_t first = kNoLine, last = kNoLine;  // its first and last key lines
  };

  bool isHive = false;
  bool win64 = false;  // "#arch=win64"
  // The folded components of the NT path the file's keys are relative to, from the comment
  // ";; All keys relative to ..."; empty when not given.
  std::vector<std::u16string> base;
  std::vector<Node> nodes;

  // The key's folded path from the file's root, as stored.
  std::vector<std::u16string> path(Id key, const Route& route) const {
    std::vector<std::u16string> parts;
    for (; key != kRoot; key = nodes[key].parent)
      parts.emplace_back(nodes[key].stepped ? kWow : route.parts[nodes[key].consumed - 1]);
    std::reverse(parts.begin(), parts.end());
    return parts;
  }
};

// One pass over a hive for a route: places each key line on the route's tree of keys, and reads
// the lines of the keys it must know more of.
class Pass {
 public:
  Pass(std::string_view text, std::size_t start, const Route& route, Survey& survey)
      : lines_(text, start), route_(route), survey_(survey) {}

  // The lines before the first key; false when the bytes are no hive.
  bool preamble() {
    std::string_view line;
    if (!lines_.next(line) || line != kHeader) return false;
    while (lines_.next(line)) {
      if (!line.empty() && line[0] == '[') {
        lines_.putBack();
        break;
      }
      if (line == "#arch=win64") survey_.win64 = true;
      if (line == "#arch=win32") survey_.win64 = false;
      if (line.starts_with(kBaseComment)) {
        std::u16string base;
        std::size_t pos = kBaseComment.size();
        if (unescape(line, pos, kEndOfLine, base)) survey_.base = components(base);
      }
    }
    survey_.isHive = true;
    return true;
  }

  // Every key line through the route, up to the one at offset `last`, noting where each
  // key's sections begin. With a value name, reads that value of the key at the route's end
  // instead of the keys' links.
  void keys(const std::u16string* valueName, std::optional<Value>* value,
            std::uint64_t last = kNoLine) {
    redirect_ = route_.view32 && survey_.win64;
    survey_.nodes.assign(1, Survey::Node{});
    std::string_view line;
    while (lines_.nextHeader(line, skip_) && lines_.offset() <= last) {
      const Survey::Id key = place(line);
      if (key == Survey::kNone) continue;
      Survey::Node& node = survey_.nodes[key];
      if (node.first == kNoLine) node.first = lines_.offset();
      node.last = lines_.offset();
      if (valueName) {
        if (node.consumed == route_.parts.size()) section(key, *valueName, value);
      } else if (key != Survey::kRoot) {
        std::optional<Value> target;
        section(key, kLinkValue, &target);
        if (target) survey_.nodes[key].target = std::move(target);
      }
    }
  }

 private:
  // The key a key line names when its whole path lies on the route, adding the keys the path
  // passes on the way (they exist, named or implied); kNone otherwise.
  Survey::Id place(std::string_view line) {
    PathUnits units(line);
    Survey::Id key = Survey::kRoot;
    std::uint32_t depth = 0;
    bool whole = false;  // whether the line closes: checked once, before it adds its first key
    for (;;) {
      const Survey::Node& node = survey_.nodes[key];
      const std::size_t j = node.consumed;
      const std::u16string* part = j < route_.parts.size() ? &route_.parts[j] : nullptr;
      const bool wow = redirect_ && j >= route_.fixed && !node.isWow && (!part || *part != kWow);
      const Match match = matchComponent(units, part, wow);
      if (match == Match::End) return key;
      if (match == Match::None) {
        // Any line that begins with the same bytes leaves the route at the same unit: Wine
        // writes keys sorted, so most of the lines that follow are skipped by this prefix alone.
        // An escape such as \x5 may go on with more digits in another line (\x53 is S), so
        // the byte that ended it belongs to the prefix.
        std::size_t end = units.pos();
        if (units.escapedLast()) end = end < line.size() ? end + 1 : 0;
        skip_.assign(line.substr(0, end));
        return Survey::kNone;
      }
      if (match != Match::Part && match != Match::Wow) return Survey::kNone;
      Survey::Id child = match == Match::Part ? node.next : node.wow;
      if (child == Survey::kNone) {
        if (depth + 1 > kMaxDepth) return Survey::kNone;
        if (!whole && !(whole = units.closes())) return Survey::kNone;
        Survey::Node added;
        added.parent = key;
        added.consumed = static_cast<std::uint32_t>(match == Match::Part ? j + 1 : j);
        added.isWow = match == Match::Wow || *part == kWow;
        added.stepped = match == Match::Wow;
        child = static_cast<Survey::Id>(survey_.nodes.size());
        survey_.nodes.push_back(std::move(added));
        (match == Match::Part ? survey_.nodes[key].next : survey_.nodes[key].wow) = child;
      }
      key = child;
      ++depth;
    }
  }

  // The lines of one section of key up to the next key line: "#link", and the value `name`
  // (the last line that reads whole wins).
  void section(Survey::Id key, std::u16string_view name, std::optional<Value>* value) {
    std::string_view line;
    while (lines_.next(line)) {
      if (line.empty()) continue;
      if (line[0] == '[') {
        lines_.putBack();
        return;
      }
      if (line == "#link") survey_.nodes[key].link = true;
      Value read;
      if (const std::size_t data = dataOf(line, name); data && parseData(lines_, line, data, read))
        *value = std::move(read);
    }
  }

  Lines lines_;
  const Route& route_;
  Survey& survey_;
  bool redirect_ = false;
  std::string skip_;  // the start of the last key line that left the route
};

// The survey of a whole hive text along a route.
Survey surveyOf(const Text& text, const Route& route) {
  Survey survey;
  Pass pass(view(text.bytes), 0, route, survey);
  if (pass.preamble()) pass.keys(nullptr, nullptr);
  return survey;
}

// Where one round of a walk, over one survey, ended.
struct Round {
  enum End { Found, Missing, Link, SharedClass } end = Missing;
  Survey::Id key = Survey::kNone;  // Found: the key reached; Link: the link
  std::size_t followed = 0;        // Link, SharedClass: the route's components behind the walk
};

// Whether key is Software\Classes\Wow6432Node of system.reg.
bool isClassesWow(const Survey& survey, Survey::Id key, const Route& route) {
  return survey.nodes[key].isWow && survey.path(key, route) == kClassesWow;
}

// Follows the route through what one pass surveyed, as far as the survey goes.
Round follow(const Survey& survey, const Route& route, File file) {
  const bool view32 = route.view32 && survey.win64;
  const std::size_t count = route.parts.size();
  const auto& nodes = survey.nodes;
  Survey::Id key = Survey::kRoot;
  for (std::size_t j = 0;; ++j) {
    const bool viewed = view32 && j >= route.fixed;
    if (viewed && !nodes[key].isWow && (j == count || route.parts[j] != kWow) &&
        nodes[key].wow != Survey::kNone) {
      key = nodes[key].wow;
      if (nodes[key].link) return {Round::Link, key, j};
    }
    if (j == count) return {Round::Found, key, j};
    Survey::Id child = nodes[key].next;
    if (child == Survey::kNone && viewed && file == File::System &&
        isClassesWow(survey, key, route)) {
      // Classes are shared between the views: what Software\Classes\Wow6432Node lacks is the
      // 64-bit key of Software\Classes.
      if (!nodes[key].stepped) return {Round::SharedClass, key, j};
      child = nodes[nodes[key].parent].next;
    }
    if (child == Survey::kNone) return {Round::Missing};
    key = child;
    if (nodes[key].link) return {Round::Link, key, j + 1};
  }
}

// Points path at the target of a link (\Registry\Machine\..., \Registry\User\.Default\...,
// \Registry\User\<userSid>\...) with the components not followed yet. A link names its
// target as it is stored: no 32-bit view inside it.
bool retarget(const fs::path& prefix, const std::optional<Value>& target, std::size_t followed,
              Path& path) {
  if (!target || target->type != kRegLink) return false;
  std::vector<std::u16string> parts =
      components(text::utf16OfBytes(target->data.data(), target->data.size()));
  if (parts.size() < 2 || parts[0] != u"REGISTRY") return false;
  std::size_t from = 2;
  if (parts[1] == u"MACHINE") {
    path.file = File::System;
  } else if (parts[1] == u"USER" && parts.size() > 2) {
    from = 3;
    const std::optional<File> user = usersFile(prefix, parts[2]);
    if (!user) return false;
    path.file = *user;
  } else {
    return false;
  }
  parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(from));
  const std::size_t targetSize = parts.size();
  parts.insert(parts.end(), path.parts.begin() + static_cast<std::ptrdiff_t>(followed),
               path.parts.end());
  path.fixed = targetSize + (path.fixed > followed ? path.fixed - followed : 0);
  path.parts = std::move(parts);
  return true;
}

// The value `name` of key, from the lines of its sections in the text the walk read.
std::optional<Value> valueIn(const Key& key, std::u16string_view name) {
  if (key.first == kNoLine) return std::nullopt;
  Survey survey;
  const Route route{key.stored, key.stored.size(), false};
  const std::u16string folded(name);
  std::optional<Value> value;
  Pass(view(key.text->bytes), key.first, route, survey).keys(&folded, &value, key.last);
  return value;
}

// The SID under which HKEY_USERS and link targets name user.reg: the one its header names
// (";; All keys relative to REGISTRY\\User\\SID"), Wine's otherwise.
std::u16string userSid(const fs::path& prefix) {
  const auto text = load(pathOf(prefix, File::User));
  Survey survey;
  const std::vector<std::u16string> none;
  const Route route{none};
  const auto& base = survey.base;
  if (text && Pass(view(text->bytes), 0, route, survey).preamble() && base.size() == 3 &&
      base[0] == u"REGISTRY" && base[1] == u"USER")
    return base[2];
  return std::u16string(kWineUser);
}

}  // namespace

fs::path pathOf(const fs::path& prefix, File file) {
  switch (file) {
    case File::System:
      return prefix / "system.reg";
    case File::User:
      return prefix / "user.reg";
    case File::UserDefault:
      break;
  }
  return prefix / "userdef.reg";
}

std::optional<File> usersFile(const fs::path& prefix, std::u16string_view name) {
  if (name == kDefaultUser) return File::UserDefault;
  if (name == userSid(prefix)) return File::User;
  return std::nullopt;
}

std::optional<Key> walk(const fs::path& prefix, const Path& asked) {
  Path path = asked;
  // The text of the round before stays held while the next loads: a link within one hive
  // reads it once.
  std::shared_ptr<const Text> text;
  for (int links = 0;;) {
    if (path.parts.size() > kMaxDepth) return std::nullopt;
    const Route route{path.parts, path.fixed, path.view32};
    text = load(pathOf(prefix, path.file));
    if (!text) return std::nullopt;
    const Survey survey = surveyOf(*text, route);
    if (!survey.isHive) return std::nullopt;
    const Round round = follow(survey, route, path.file);
    switch (round.end) {
      case Round::Found: {
        const Survey::Node& node = survey.nodes[round.key];
        return Key{asked, path.file, survey.path(round.key, route), text, node.first, node.last};
      }
      case Round::Missing:
        return std::nullopt;
      case Round::Link:
        if (++links > kMaxLinks ||
            !retarget(prefix, survey.nodes[round.key].target, round.followed, path))
          return std::nullopt;
        break;
      case Round::SharedClass: {
        std::vector<std::u16string> parts(kClasses.begin(), kClasses.end());
        parts.insert(parts.end(), path.parts.begin() + static_cast<std::ptrdiff_t>(round.followed),
                     path.parts.end());
        // The component Classes\Wow6432Node lacked is taken as stored under Classes.
        path = Path{File::System, std::move(parts), kClasses.size() + 1, true};
        break;
      }
    }
  }
}

std::optional<Value> query(const fs::path& prefix, Key& key, std::u16string_view name) {
  // A hive that keeps changing under the reader is given up after a few walks.
  for (int walks = 0; walks < 4; ++walks) {
    // The file as it is now; when it differs, the walk again finds this text held.
    const auto now = load(pathOf(prefix, key.file));
    if (now && key.text && now->identity == key.text->identity) return valueIn(key, name);
    auto again = walk(prefix, key.asked);
    if (!again) return std::nullopt;
    key = std::move(*again);
  }
  return std::nullopt;
}

std::vector<std::u16string> components(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = std::min(path.find(u'\\', start), path.size());
    if (end > start) parts.push_back(text::upperCase(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

}  // namespace platform::posix::hive
