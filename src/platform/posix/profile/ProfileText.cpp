#include "platform/posix/profile/ProfileText.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/posix/Text.h"

namespace platform::posix::profile {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

template <typename Unit>
using View = std::basic_string_view<Unit>;
template <typename Unit>
using Text = std::basic_string<Unit>;

enum class Encoding { Bytes, Utf16LE, Utf16BE };

Encoding encodingOf(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return Encoding::Utf16LE;
  if (head.starts_with("\xFE\xFF")) return Encoding::Utf16BE;
  return Encoding::Bytes;
}

text::ByteOrder byteOrderOf(Encoding encoding) {
  return encoding == Encoding::Utf16BE ? text::ByteOrder::Big : text::ByteOrder::Little;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// ---- Units: the blank set, case and names, for bytes and UTF-16 units alike ----------------

template <typename Unit>
bool isBreak(Unit c) {
  return c == '\r' || c == '\n';
}

// The blanks a line is trimmed of, apart from line breaks: space, tab, VT, FF and Ctrl-Z.
template <typename Unit>
bool isInlineBlank(Unit c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

template <typename Unit>
bool isBlank(Unit c) {
  return isInlineBlank(c) || isBreak(c);
}

template <typename Unit>
View<Unit> trimFront(View<Unit> s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

template <typename Unit>
View<Unit> trim(View<Unit> s) {
  s = trimFront(s);
  std::size_t n = s.size();
  while (n > 0 && isBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

// Profile names fold ASCII letters only, in 8-bit and UTF-16 text alike.
template <typename Unit>
Unit asciiLower(Unit c) {
  return c < 0x80 ? static_cast<Unit>(text::lowerAscii(static_cast<char>(c))) : c;
}

template <typename Unit>
bool sameName(View<Unit> a, View<Unit> b) {
  if constexpr (sizeof(Unit) == 1) {
    return text::equalsIgnoringAsciiCase(a, b);
  } else {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Unit x, Unit y) {
             return asciiLower(x) == asciiLower(y);
           });
  }
}

// A value ends at its first NUL.
template <typename Unit>
View<Unit> beforeNul(View<Unit> v) {
  return v.substr(0, std::min(v.size(), v.find(Unit(0))));
}

template <typename Unit>
View<Unit> unquote(View<Unit> v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The UTF-16 form of UTF-8 text; nullopt for bytes that are not UTF-8.
std::optional<std::u16string> toUtf16(std::string_view in) {
  bool valid = false;
  std::u16string out = text::utf16Of(in, &valid);
  return valid ? std::optional(std::move(out)) : std::nullopt;
}

// ---- Lines -----------------------------------------------------------------------------------

// One line: its text without the line break; begin and next are the offsets (in units, from the
// start of the text) of its first unit and of the first unit after its line break. LF, CRLF and a
// lone CR each end a line.
template <typename Unit>
struct Line {
  View<Unit> text;
  std::size_t begin = 0;
  std::size_t next = 0;
};

// The lines of a text in memory, from an offset on (the body after a byte-order mark).
template <typename Unit>
class LineReader {
 public:
  LineReader(View<Unit> text, std::size_t from) : text_(text), body_(from), pos_(from) {}

  bool next(Line<Unit>& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t brk = findBreak(pos_);
    const std::size_t stop = brk == kNone ? text_.size() : brk;
    line.text = text_.substr(pos_, stop - pos_);
    line.begin = pos_;
    std::size_t after = stop;
    if (brk != kNone) {
      ++after;
      if (text_[brk] == '\r' && after < text_.size() && text_[after] == '\n') ++after;
    }
    line.next = after;
    pos_ = after;
    return true;
  }

  // Goes on to the next line that may be the header of a section whose name begins with first
  // (an ASCII lower-case unit): its first non-blank unit is '[', and the first non-blank unit
  // after that is first in either case. Reads that line; other lines are passed over unread
  // beyond the search for '['.
  bool nextHeader(Line<Unit>& line, Unit first) {
    for (std::size_t open; (open = find(pos_, '[')) != kNone; pos_ = open + 1) {
      std::size_t name = open + 1;
      while (name < text_.size() && isInlineBlank(text_[name])) ++name;
      if (name == text_.size() || asciiLower(text_[name]) != first) continue;
      std::size_t b = open;
      while (b > body_ && isInlineBlank(text_[b - 1])) --b;
      if (b == body_ || isBreak(text_[b - 1])) {
        pos_ = open;
        return next(line);
      }
    }
    pos_ = text_.size();
    return false;
  }

 private:
  std::size_t find(std::size_t from, Unit c) const {
    if (from >= text_.size()) return kNone;
    if constexpr (sizeof(Unit) == 1) {
      const void* at = std::memchr(text_.data() + from, c, text_.size() - from);
      return at ? static_cast<std::size_t>(static_cast<const Unit*>(at) - text_.data()) : kNone;
    } else {
      return text_.find(c, from);
    }
  }

  std::size_t findBreak(std::size_t from) const {
    if constexpr (sizeof(Unit) == 1) {
      const std::size_t lf = find(from, '\n');
      const std::size_t lfAt = lf == kNone ? text_.size() : lf;
      const void* cr = std::memchr(text_.data() + from, '\r', lfAt - from);
      return cr ? static_cast<std::size_t>(static_cast<const Unit*>(cr) - text_.data()) : lf;
    } else {
      const auto at = std::find_if(text_.begin() + static_cast<std::ptrdiff_t>(from), text_.end(),
                                   isBreak<Unit>);
      return at == text_.end() ? kNone : static_cast<std::size_t>(at - text_.begin());
    }
  }

  View<Unit> text_;
  std::size_t body_;  // where the first line starts
  std::size_t pos_;   // the first unit not yet read
};

// ---- Parsing ---------------------------------------------------------------------------------

enum class Kind { Blank, Header, Comment, Entry };

template <typename Unit>
struct Parsed {
  Kind kind = Kind::Blank;
  View<Unit> name;                  // header name, or entry name (trimmed)
  std::optional<View<Unit>> value;  // trimmed value; none for a line without '='
  std::size_t equals = kNone;       // offset in the line of the first '='
  std::size_t nameEnd = 0;          // offset in the line where the trimmed name ends
};

template <typename Unit>
Parsed<Unit> classify(View<Unit> raw) {
  Parsed<Unit> p;
  const View<Unit> t = trim(raw);
  if (t.empty()) return p;
  if (t.front() == '[') {
    const std::size_t close = t.rfind(']');
    if (close != kNone) {
      p.kind = Kind::Header;
      p.name = trim(t.substr(1, close - 1));
      return p;
    }
  }
  p.kind = t.front() == ';' ? Kind::Comment : Kind::Entry;
  const std::size_t lead = static_cast<std::size_t>(t.data() - raw.data());
  const std::size_t eq = t.find('=');
  if (eq == kNone) {
    p.name = t;
  } else {
    p.name = trim(t.substr(0, eq));
    p.value = trim(t.substr(eq + 1));
    p.equals = lead + eq;
  }
  p.nameEnd = static_cast<std::size_t>(p.name.data() - raw.data()) + p.name.size();
  return p;
}

// Walks the lines of the first section whose name matches (the lines before the first header
// form the section with the empty name), calling visit(line, parsed) for its header and each
// non-blank line of it until visit returns false. Stops at the section's end: later sections of
// the same name are never seen.
template <typename Unit, typename Visit>
void forFirstSection(LineReader<Unit>& lines, View<Unit> wanted, Visit&& visit) {
  bool inside = wanted.empty();
  const Unit first = inside ? Unit(0) : asciiLower(wanted.front());
  Line<Unit> line;
  while (inside ? lines.next(line) : lines.nextHeader(line, first)) {
    const Parsed<Unit> p = classify(line.text);
    if (p.kind == Kind::Header) {
      if (inside) return;
      inside = sameName(p.name, wanted);
      if (inside && !visit(line, p)) return;
      continue;
    }
    if (p.kind != Kind::Blank && inside && !visit(line, p)) return;
  }
}

std::uint32_t place(std::string_view s, char* buffer, std::uint32_t size) {
  const std::size_t n = std::min<std::size_t>(s.size(), size - 1);
  if (n > 0) std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

std::string_view asProgramText(std::string_view s, std::string&) {
  return s;
}

std::string_view asProgramText(std::u16string_view s, std::string& out) {
  out = text::utf8Of(s);
  return out;
}

// Calls read(lines, section, key) with a LineReader over the text's body in its own units and
// the names in those units; names that have no UTF-16 form are given as nullopt (they match
// nothing).
template <typename Read>
auto withReader(std::string_view text, std::string_view section, std::string_view key,
                Read&& read) {
  const Encoding encoding = encodingOf(text);
  if (encoding == Encoding::Bytes) {
    LineReader<char> lines(text, text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0);
    return read(lines, std::optional<std::string_view>(section),
                std::optional<std::string_view>(key));
  }
  const std::u16string units = text::utf16OfBytes(text.data(), text.size(), byteOrderOf(encoding));
  LineReader<char16_t> lines(units, 1);
  const auto section16 = toUtf16(section);
  const auto key16 = toUtf16(key);
  return read(lines, section16 ? std::optional<std::u16string_view>(*section16) : std::nullopt,
              key16 ? std::optional<std::u16string_view>(*key16) : std::nullopt);
}

}  // namespace

std::uint32_t readValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
  const auto found = withReader(
      text, trim(section), trim(key), [&](auto& lines, auto wantedSection, auto wantedKey) {
        std::optional<std::uint32_t> count;
        if (!wantedSection || !wantedKey) return count;
        std::string converted;
        forFirstSection(lines, *wantedSection, [&](const auto&, const auto& p) {
          if (p.kind == Kind::Header || !sameName(p.name, *wantedKey)) return true;
          if (p.value)
            count = place(asProgramText(unquote(beforeNul(*p.value)), converted), buffer, size);
          return false;
        });
        return count;
      });
  return found ? *found : place(defaultValue, buffer, size);
}

std::uint32_t readKeyNames(std::string_view text, std::string_view section,
                           std::string_view defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string list;
  bool listed = false;
  withReader(text, section, {}, [&](auto& lines, auto wantedSection, auto) {
    if (!wantedSection) return 0;
    std::string converted;
    forFirstSection(lines, *wantedSection, [&](const auto&, const auto& p) {
      if (p.kind != Kind::Entry || !p.value) return true;
      listed = true;
      list.append(asProgramText(p.name, converted));
      list.push_back('\0');
      return list.size() < size;  // the rest cannot fit anyway
    });
    return 0;
  });
  if (!listed) return place(defaultValue, buffer, size);
  if (list.size() + 1 < size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  // Does not fit: the first size-2 bytes, the last name cut, then two NULs.
  if (size < 2) return place({}, buffer, size);
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

bool isWritable(std::string_view section, std::string_view key, std::string_view value) {
  const auto hasBreak = [](std::string_view s) { return s.find_first_of("\r\n") != kNone; };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
  while (!key.empty() && isInlineBlank(key.front())) key.remove_prefix(1);
  return !key.starts_with('[') && !key.starts_with(kUtf8Mark) && encodingOf(key) == Encoding::Bytes;
}

namespace {

template <typename Unit>
View<Unit> lineEnding(View<Unit> text) {
  static constexpr Unit crlf[] = {'\r', '\n'};
  const auto at = std::find_if(text.begin(), text.end(), isBreak<Unit>);
  if (at == text.end()) return View<Unit>(crlf, 2);
  if (*at == '\n') return View<Unit>(crlf + 1, 1);
  return View<Unit>(crlf, (at + 1 != text.end() && at[1] == '\n') ? 2 : 1);
}

// The change of one value in a text of units whose body starts at from; nullopt when the text
// already holds that value.
template <typename Unit>
std::optional<Text<Unit>> edit(View<Unit> text, std::size_t from, View<Unit> section,
                               View<Unit> key, View<Unit> value) {
  const View<Unit> sectionName = trim(section);
  const View<Unit> keyName = trim(key);
  const View<Unit> newValue = trimFront(value);
  const View<Unit> eol = lineEnding(text.substr(from));

  bool found = sectionName.empty();
  std::size_t insertAt = from;  // the empty-named section starts the body
  bool breakFirst = false;      // the line to add after ends the text unbroken
  std::optional<Text<Unit>> replaced;
  bool unchanged = false;

  LineReader<Unit> lines(text, from);
  forFirstSection(lines, sectionName, [&](const Line<Unit>& line, const Parsed<Unit>& p) {
    found = true;
    if (p.kind != Kind::Header && sameName(p.name, keyName)) {
      if (p.value && beforeNul(*p.value) == newValue) {
        unchanged = true;
        return false;
      }
      const std::size_t lineEnd = line.begin + line.text.size();
      Text<Unit> out;
      out.reserve(text.size() + newValue.size() + 1);
      if (p.equals != kNone) {
        // Only the value changes: the key's spelling and the blanks around "=" stay.
        std::size_t valueStart = line.begin + p.equals + 1;
        while (valueStart < lineEnd && (text[valueStart] == ' ' || text[valueStart] == '\t'))
          ++valueStart;
        out.append(text.substr(0, valueStart));
      } else {
        out.append(text.substr(0, line.begin + p.nameEnd));
        out.push_back('=');
      }
      out.append(newValue);
      out.append(text.substr(lineEnd));
      replaced = std::move(out);
      return false;
    }
    insertAt = line.next;
    breakFirst = line.next == line.begin + line.text.size();
    return true;
  });
  if (unchanged) return std::nullopt;
  if (replaced) return replaced;

  Text<Unit> out;
  out.reserve(text.size() + section.size() + key.size() + newValue.size() + 16);
  if (found) {
    out.append(text.substr(0, insertAt));
    if (breakFirst) out.append(eol);
  } else {
    out.append(text);
    if (text.size() > from && !isBreak(text.back())) out.append(eol);
    out.push_back('[');
    out.append(trimFront(section));
    out.push_back(']');
    out.append(eol);
  }
  out.append(trimFront(key));
  out.push_back('=');
  out.append(newValue);
  out.append(eol);
  if (found) out.append(text.substr(insertAt));
  return out;
}

}  // namespace

NewContent withValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  using Result = NewContent::Kind;
  if (!isWritable(section, key, value)) return {Result::Refused, {}};
  const Encoding encoding = encodingOf(text);
  if (encoding == Encoding::Bytes) {
    const std::size_t from = text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
    auto changed = edit<char>(text, from, section, key, value);
    return changed ? NewContent{Result::Changed, std::move(*changed)} : NewContent{};
  }
  const auto section16 = toUtf16(section), key16 = toUtf16(key), value16 = toUtf16(value);
  if (!section16 || !key16 || !value16) return {Result::Refused, {}};
  const text::ByteOrder order = byteOrderOf(encoding);
  const std::u16string units = text::utf16OfBytes(text.data(), text.size(), order);
  const auto changed = edit<char16_t>(units, 1, *section16, *key16, *value16);
  if (!changed) return {};
  NewContent result{Result::Changed, {}};
  text::appendUtf16Bytes(result.bytes, *changed, order);
  if (text.size() % 2 != 0) result.bytes.push_back(text.back());
  return result;
}

}  // namespace platform::posix::profile
