#include "platform/posix/ProfileText.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/posix/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::posix::profile {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
// The bytes a streaming read asks its source for at a time (a first piece is smaller when the
// text is known to be smaller).
constexpr std::size_t kPiece = 64 << 10;

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

// ---- UTF-8 and UTF-16 ------------------------------------------------------------------------

// The UTF-16 form of UTF-8 text; nullopt for bytes that are not UTF-8.
std::optional<std::u16string> toUtf16(std::string_view in) {
  bool valid = false;
  std::u16string out = text::utf16Of(in, &valid);
  if (!valid) return std::nullopt;
  return out;
}

char16_t unitAt(const char* bytes, bool bigEndian) {
  const auto a = static_cast<unsigned char>(bytes[0]);
  const auto b = static_cast<unsigned char>(bytes[1]);
  return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
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

// The first bytes of a streamed text: enough to tell its encoding.
struct Head {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
  std::size_t capacity = 0;
  bool ended = false;
};

Head readHead(Source& in) {
  Head head;
  head.capacity = std::clamp<std::size_t>(in.expected() + 1, 256, kPiece);
  head.bytes = std::make_unique_for_overwrite<char[]>(head.capacity);
  while (head.size < 3) {
    const std::size_t got = in.read(head.bytes.get() + head.size, head.capacity - head.size);
    if (got == 0) {
      head.ended = true;
      break;
    }
    head.size += got;
  }
  return head;
}

// The lines of a text, either all in memory or streamed from a Source a piece at a time. A
// streamed line's text is valid until the next call.
template <typename Unit>
class LineReader {
 public:
  // A text in memory, from offset from on.
  LineReader(View<Unit> text, std::size_t from)
      : data_(text.data()), pos_(std::min(from, text.size())), end_(text.size()) {}

  // A streamed text whose first bytes are in head; bigEndian for UTF-16BE.
  LineReader(Source& in, Head head, bool bigEndian) : in_(&in), eof_(head.ended) {
    if constexpr (sizeof(Unit) == 1) {
      store_ = std::move(head.bytes);
      capacity_ = head.capacity;
      end_ = head.size;
    } else {
      bigEndian_ = bigEndian;
      capacity_ = std::max<std::size_t>(head.capacity / 2 + 1, 128);
      store_ = std::make_unique_for_overwrite<Unit[]>(capacity_);
      end_ = decode(head.bytes.get(), head.size, store_.get());
    }
    data_ = store_.get();
  }

  // Skips n units (a byte-order mark) at the start.
  void skip(std::size_t n) { pos_ = std::min(pos_ + n, end_); }

  View<Unit> rest() const { return View<Unit>(data_ + pos_, end_ - pos_); }

  bool next(Line<Unit>& line) {
    std::size_t scanned = pos_;  // the units from pos_ up to here hold no line break
    std::size_t brk;
    while ((brk = findBreak(scanned)) == kNone) {
      const std::size_t seen = end_ - pos_;
      if (!fill()) break;
      scanned = pos_ + seen;
    }
    if (brk == kNone && pos_ >= end_) return false;
    const std::size_t stop = brk == kNone ? end_ : brk;
    line.text = View<Unit>(data_ + pos_, stop - pos_);
    line.begin = base_ + pos_;
    std::size_t after = stop;
    if (brk != kNone) {
      ++after;
      if (data_[brk] == '\r' && after < end_ && data_[after] == '\n') ++after;
    }
    line.next = base_ + after;
    pos_ = after;
    blankSoFar_ = true;
    return true;
  }

  // Goes on to the next line that may be the header of the section lowered names (ASCII
  // lower case, not empty): its first non-blank unit is '[' and the name after it does not
  // already differ from lowered. Other lines are passed over unread beyond that, and are
  // dropped from memory as the search goes on.
  bool nextHeader(Line<Unit>& line, View<Unit> lowered) {
    for (;;) {
      std::size_t p = pos_;
      while (p < end_) {
        const std::size_t open = findOpen(p, lowered.front());
        if (open == kNone) break;
        std::size_t b = open;
        while (b > p && isInlineBlank(data_[b - 1])) --b;
        const bool startsLine = b == p ? blankSoFar_ : isBreak(data_[b - 1]);
        blankSoFar_ = false;
        p = open + 1;
        if (!startsLine) continue;
        std::size_t s = p;
        while (s < end_ && isInlineBlank(data_[s])) ++s;
        std::size_t i = 0;
        while (i < lowered.size() && s + i < end_ && asciiLower(data_[s + i]) == lowered[i]) ++i;
        // A difference seen is final; a name cut by the end of the piece is read in full.
        if (i < lowered.size() && (s + i < end_ || in_ == nullptr || eof_)) continue;
        pos_ = open;
        return next(line);
      }
      // Nothing here: only whether the last line so far is still blank at its start matters.
      std::size_t b = end_;
      while (b > p && isInlineBlank(data_[b - 1])) --b;
      if (b > p) blankSoFar_ = isBreak(data_[b - 1]);
      pos_ = end_;
      if (!fill()) return false;
    }
  }

 private:
  std::size_t find(std::size_t from, Unit c) const {
    if (from >= end_) return kNone;
    if constexpr (sizeof(Unit) == 1) {
      const void* at = std::memchr(data_ + from, c, end_ - from);
      return at ? static_cast<std::size_t>(static_cast<const Unit*>(at) - data_) : kNone;
    } else {
      const Unit* at = std::find(data_ + from, data_ + end_, c);
      return at == data_ + end_ ? kNone : static_cast<std::size_t>(at - data_);
    }
  }

  // The first '[' from from on that may open the header of a section whose name starts with
  // first (ASCII lower case); it may return others too, never one past such a '['. In 8-bit
  // text, 64 bytes at a time: outside the wanted section the scan for headers is most of a
  // read's work, and a name's first letter rules out nearly every other header.
  std::size_t findOpen(std::size_t from, Unit first) const {
#if defined(__SSE2__)
    if constexpr (sizeof(Unit) == 1) {
      const __m128i open = _mm_set1_epi8('[');
      const __m128i caseBit = _mm_set1_epi8(0x20);
      const __m128i folded = _mm_set1_epi8(static_cast<char>(first | 0x20));
      // The '[' of 16 bytes at p that are followed by a blank or control byte, or by first in
      // either case.
      const auto candidates = [&](const Unit* at) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(next, caseBit), next);
        const __m128i letter = _mm_cmpeq_epi8(_mm_or_si128(next, caseBit), folded);
        return _mm_and_si128(_mm_cmpeq_epi8(here, open), _mm_or_si128(blank, letter));
      };
      for (; from + 65 <= end_; from += 64) {
        const Unit* at = data_ + from;
        const __m128i a = candidates(at), b = candidates(at + 16);
        const __m128i c = candidates(at + 32), d = candidates(at + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
        const auto bits = [](__m128i m) {
          return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
        };
        const std::uint64_t mask = bits(a) | bits(b) << 16 | bits(c) << 32 | bits(d) << 48;
        return from + static_cast<std::size_t>(std::countr_zero(mask));
      }
    }
#else
    (void)first;
#endif
    return find(from, '[');
  }

  std::size_t findBreak(std::size_t from) const {
    if (from >= end_) return kNone;
    if constexpr (sizeof(Unit) == 1) {
      const void* lf = std::memchr(data_ + from, '\n', end_ - from);
      const std::size_t lfAt = lf ? static_cast<const Unit*>(lf) - data_ : end_;
      const void* cr = std::memchr(data_ + from, '\r', lfAt - from);
      if (cr) return static_cast<std::size_t>(static_cast<const Unit*>(cr) - data_);
      return lf ? lfAt : kNone;
    } else {
      const Unit* at = std::find_if(data_ + from, data_ + end_, isBreak<Unit>);
      return at == data_ + end_ ? kNone : static_cast<std::size_t>(at - data_);
    }
  }

  // Decodes n bytes into units at out (UTF-16 only), holding back a last odd byte for the
  // next piece. Returns the count of units.
  std::size_t decode(const char* bytes, std::size_t n, Unit* out) {
    std::size_t units = 0;
    std::size_t i = 0;
    if (hasPending_ && n > 0) {
      const char pair[2] = {pending_, bytes[0]};
      out[units++] = unitAt(pair, bigEndian_);
      hasPending_ = false;
      i = 1;
    }
    for (; i + 1 < n; i += 2) out[units++] = unitAt(bytes + i, bigEndian_);
    if (i < n) {
      pending_ = bytes[i];
      hasPending_ = true;
    }
    return units;
  }

  // Reads the next piece after the units not yet consumed; false at the end of the text.
  bool fill() {
    if (in_ == nullptr || eof_) return false;
    if (pos_ > 0) {
      std::memmove(store_.get(), store_.get() + pos_, (end_ - pos_) * sizeof(Unit));
      base_ += pos_;
      end_ -= pos_;
      pos_ = 0;
    }
    // A line longer than half the buffer doubles it: memory follows the longest line read.
    if (capacity_ - end_ < capacity_ / 2) {
      auto bigger = std::make_unique_for_overwrite<Unit[]>(capacity_ * 2);
      std::memcpy(bigger.get(), store_.get(), end_ * sizeof(Unit));
      store_ = std::move(bigger);
      capacity_ *= 2;
    }
    data_ = store_.get();
    for (;;) {
      std::size_t units;
      if constexpr (sizeof(Unit) == 1) {
        units = in_->read(store_.get() + end_, capacity_ - end_);
        if (units == 0) eof_ = true;
      } else {
        const std::size_t want = (capacity_ - end_) * 2 - (hasPending_ ? 1 : 0);
        if (scratch_.size() < want) scratch_.resize(want);
        const std::size_t got = in_->read(scratch_.data(), want);
        if (got == 0) eof_ = true;
        units = decode(scratch_.data(), got, store_.get() + end_);
      }
      end_ += units;
      if (units > 0) return true;
      if (eof_) return false;
    }
  }

  Source* in_ = nullptr;
  std::unique_ptr<Unit[]> store_;
  std::size_t capacity_ = 0;
  const Unit* data_ = nullptr;
  std::size_t pos_ = 0;   // the first unit not yet consumed
  std::size_t end_ = 0;   // the end of the units held
  std::size_t base_ = 0;  // the offset in the text of data_[0]
  bool eof_ = true;
  bool blankSoFar_ = true;  // the units from the start of the line up to pos_ are all blank
  bool bigEndian_ = false;
  bool hasPending_ = false;
  char pending_ = 0;
  std::string scratch_;
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
// the same name are never seen, and nothing after the section is read.
template <typename Unit, typename Visit>
void forFirstSection(LineReader<Unit>& lines, View<Unit> wanted, Visit&& visit) {
  Text<Unit> lowered(wanted);
  for (Unit& c : lowered) c = asciiLower(c);
  bool inside = wanted.empty();
  Line<Unit> line;
  while (inside ? lines.next(line) : lines.nextHeader(line, lowered)) {
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

// Calls read(lines, section, key) with a LineReader of the text's encoding and the names in
// its units; names that have no UTF-16 form are given as nullopt (they match nothing).
template <typename Read>
auto withReader(Source& in, std::string_view section, std::string_view key, Read&& read) {
  Head head = readHead(in);
  const Encoding encoding = encodingOf(std::string_view(head.bytes.get(), head.size));
  if (encoding == Encoding::Bytes) {
    const bool mark = std::string_view(head.bytes.get(), head.size).starts_with(kUtf8Mark);
    LineReader<char> lines(in, std::move(head), false);
    if (mark) lines.skip(kUtf8Mark.size());
    return read(lines, std::optional<std::string_view>(section),
                std::optional<std::string_view>(key));
  }
  LineReader<char16_t> lines(in, std::move(head), encoding == Encoding::Utf16BE);
  lines.skip(1);
  const auto section16 = toUtf16(section);
  const auto key16 = toUtf16(key);
  return read(lines, section16 ? std::optional<std::u16string_view>(*section16) : std::nullopt,
              key16 ? std::optional<std::u16string_view>(*key16) : std::nullopt);
}

}  // namespace

std::size_t TextSource::read(char* into, std::size_t size) {
  const std::size_t n = std::min({size, piece_, text_.size()});
  if (n == 0) return 0;
  std::memcpy(into, text_.data(), n);
  text_.remove_prefix(n);
  return n;
}

std::uint32_t readValue(Source& in, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
  const auto found = withReader(
      in, trim(section), trim(key), [&](auto& lines, auto wantedSection, auto wantedKey) {
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

std::uint32_t readValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size) {
  TextSource in(text);
  return readValue(in, section, key, defaultValue, buffer, size);
}

std::uint32_t readKeyNames(Source& in, std::string_view section, std::string_view defaultValue,
                           char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string list;
  bool listed = false;
  withReader(in, section, {}, [&](auto& lines, auto wantedSection, auto) {
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
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

std::uint32_t readKeyNames(std::string_view text, std::string_view section,
                           std::string_view defaultValue, char* buffer, std::uint32_t size) {
  TextSource in(text);
  return readKeyNames(in, section, defaultValue, buffer, size);
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

Edit withValue(std::string_view text, std::string_view section, std::string_view key,
               std::string_view value) {
  Edit result;
  const Encoding encoding = encodingOf(text);
  if (encoding == Encoding::Bytes) {
    const std::size_t from = text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
    auto changed = edit<char>(text, from, section, key, value);
    if (changed) {
      result.result = Edit::Result::Changed;
      result.text = std::move(*changed);
    }
    return result;
  }
  const auto section16 = toUtf16(section);
  const auto key16 = toUtf16(key);
  const auto value16 = toUtf16(value);
  if (!section16 || !key16 || !value16) {
    result.result = Edit::Result::Refused;
    return result;
  }
  const bool bigEndian = encoding == Encoding::Utf16BE;
  std::u16string units(text.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = unitAt(text.data() + 2 * i, bigEndian);
  auto changed = edit<char16_t>(units, 1, *section16, *key16, *value16);
  if (!changed) return result;
  result.result = Edit::Result::Changed;
  result.text.reserve(changed->size() * 2 + 1);
  for (const char16_t u : *changed) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    result.text.push_back(bigEndian ? hi : lo);
    result.text.push_back(bigEndian ? lo : hi);
  }
  if (text.size() % 2 != 0) result.text.push_back(text.back());
  return result;
}

}  // namespace platform::posix::profile
