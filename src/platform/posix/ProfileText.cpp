#include "platform/posix/ProfileText.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/Text.h"

namespace platform::posix::profile {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string_view::npos;

// The bytes a profile line is trimmed of: space, tab, VT, FF, CR, LF and Ctrl-Z.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1A';
}

std::string_view trimFront(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view trim(std::string_view s) {
  s = trimFront(s);
  std::size_t n = s.size();
  while (n > 0 && isBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

bool sameName(std::string_view a, std::string_view b) {
  return text::equalsIgnoringAsciiCase(a, b);
}

std::size_t bodyStart(std::string_view text) {
  return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

// One line: its text runs from begin to end; next is the first byte after its line break
// (equal to end for a last line without one). LF, CRLF and a lone CR each end a line.
struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t next = 0;
};

class Lines {
 public:
  Lines(std::string_view text, std::size_t from) : text_(text), pos_(from) {}

  bool next(Line& line) {
    if (pos_ >= text_.size()) return false;
    const char* base = text_.data();
    const void* lf = std::memchr(base + pos_, '\n', text_.size() - pos_);
    const std::size_t lfPos = lf ? static_cast<const char*>(lf) - base : text_.size();
    const void* cr = std::memchr(base + pos_, '\r', lfPos - pos_);
    line.begin = pos_;
    if (cr) {
      const std::size_t crPos = static_cast<const char*>(cr) - base;
      line.end = crPos;
      line.next = (lf && crPos + 1 == lfPos) ? lfPos + 1 : crPos + 1;
    } else {
      line.end = lfPos;
      line.next = lf ? lfPos + 1 : lfPos;
    }
    pos_ = line.next;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_;
};

enum class Kind { Blank, Header, Comment, Entry };

struct Parsed {
  Kind kind = Kind::Blank;
  std::string_view name;                  // header name, or entry name (trimmed)
  std::optional<std::string_view> value;  // trimmed value; none for a line without '='
  std::size_t equals = kNone;             // offset of the first '=' in the text
  std::size_t nameEnd = 0;                // offset where the trimmed name ends
};

Parsed classify(std::string_view text, const Line& line) {
  Parsed p;
  const std::string_view raw = text.substr(line.begin, line.end - line.begin);
  const std::string_view t = trim(raw);
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
    p.equals = line.begin + lead + eq;
  }
  p.nameEnd = static_cast<std::size_t>(p.name.data() - text.data()) + p.name.size();
  return p;
}

// Walks the lines of the first section whose name matches (the lines before the first header
// form the section with the empty name), calling visit(line, parsed) for each non-blank line
// of it until visit returns false. Later sections of the same name are never seen.
template <typename Visit>
void forFirstSection(std::string_view text, std::string_view section, bool trimArgument,
                     Visit&& visit) {
  const std::string_view wanted = trimArgument ? trim(section) : section;
  bool inside = wanted.empty();
  Lines lines(text, bodyStart(text));
  Line line;
  while (lines.next(line)) {
    if (!inside) {  // outside the section only a header matters: skip the rest cheaply
      std::size_t first = line.begin;
      while (first < line.end && isBlank(text[first])) ++first;
      if (first == line.end || text[first] != '[') continue;
    }
    const Parsed p = classify(text, line);
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
  std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string_view lineEnding(std::string_view text) {
  const std::size_t at = text.find_first_of("\r\n");
  if (at == kNone) return "\r\n";
  if (text[at] == '\n') return "\n";
  return (at + 1 < text.size() && text[at + 1] == '\n') ? "\r\n" : "\r";
}

}  // namespace

std::uint32_t readValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
  const std::string_view wanted = trim(key);
  std::string_view result = defaultValue;
  forFirstSection(text, section, true, [&](const Line&, const Parsed& p) {
    if (p.kind == Kind::Header || !sameName(p.name, wanted)) return true;
    if (p.value) result = unquote(*p.value);
    return false;
  });
  return place(result, buffer, size);
}

std::uint32_t readKeyNames(std::string_view text, std::string_view section,
                           std::string_view defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string list;
  bool listed = false;
  forFirstSection(text, section, false, [&](const Line&, const Parsed& p) {
    if (p.kind != Kind::Entry || !p.value) return true;
    listed = true;
    list.append(p.name);
    list.push_back('\0');
    return list.size() < size;  // the rest cannot fit anyway
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

std::optional<std::string> withValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value) {
  const std::string_view sectionName = trim(section);
  const std::string_view keyName = trim(key);
  const std::string_view newValue = trimFront(value);
  const std::string_view eol = lineEnding(text);

  bool found = false;
  std::size_t insertAt = bodyStart(text);  // the empty-named section starts the file
  bool breakFirst = false;                 // the line to add after ends the file unbroken
  std::optional<std::string> replaced;
  bool unchanged = false;

  forFirstSection(text, sectionName, false, [&](const Line& line, const Parsed& p) {
    found = true;
    if (p.kind != Kind::Header && sameName(p.name, keyName)) {
      if (p.value && *p.value == newValue) {
        unchanged = true;
        return false;
      }
      std::string out;
      out.reserve(text.size() + newValue.size() + 1);
      if (p.equals != kNone) {
        // Only the value changes: the key's spelling and the blanks around "=" stay.
        std::size_t valueStart = p.equals + 1;
        while (valueStart < line.end && (text[valueStart] == ' ' || text[valueStart] == '\t'))
          ++valueStart;
        out.append(text.substr(0, valueStart));
      } else {
        out.append(text.substr(0, p.nameEnd));
        out.push_back('=');
      }
      out.append(newValue);
      out.append(text.substr(line.end));
      replaced = std::move(out);
      return false;
    }
    insertAt = line.next;
    breakFirst = line.next == line.end;
    return true;
  });
  if (unchanged) return std::nullopt;
  if (replaced) return replaced;
  if (sectionName.empty()) found = true;

  std::string out;
  out.reserve(text.size() + sectionName.size() + keyName.size() + newValue.size() + 16);
  if (found) {
    out.append(text.substr(0, insertAt));
    if (breakFirst) out.append(eol);
  } else {
    out.append(text);
    if (text.size() > bodyStart(text) && text.back() != '\n' && text.back() != '\r')
      out.append(eol);
    out.push_back('[');
    out.append(sectionName);
    out.push_back(']');
    out.append(eol);
  }
  out.append(keyName);
  out.push_back('=');
  out.append(newValue);
  out.append(eol);
  if (found) out.append(text.substr(insertAt));
  return out;
}

}  // namespace platform::posix::profile
