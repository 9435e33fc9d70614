// The batch of profile operations that both sides of the differential test run: the Linux
// stand-ins in the test program, the real kernel32 functions in the oracle under Wine.
//
// Both sides run the same procedure (runBatch) over the same batch file, so the only thing that
// can make their result files differ is the profile functions themselves. Header-only and free
// of any host header: the oracle is built from it with MinGW alone.
//
// The files are sequences of tokens separated by one blank or line break:
//   - a number in decimal;
//   - a string as LENGTH:BYTES (the bytes may be anything, NUL included), or '-' for none;
//   - a one-letter tag.
//
// Batch:   COUNT, then per sequence: 'S' FILE OPS, then OPS operations:
//            'R' SECTION KEY-or-none DEFAULT SIZE     one read (key none: the key list)
//            'W' SECTION KEY VALUE                     one write
//            'D' SECTION KEYS KEY...                   the section as it reads: see dumpSection
// Results: 's' NUMBER at the start of each sequence, then per primitive call 'r' COUNT BYTES (the
// buffer's meaningful bytes) or 'w' STATUS.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace differential {

class Writer {
 public:
  void tag(char t) {
    out_.push_back(t);
    out_.push_back(' ');
  }
  void number(long long n) {
    out_.append(std::to_string(n));
    out_.push_back(' ');
  }
  void text(const std::optional<std::string>& s) {
    if (!s) {
      out_.append("- ");
      return;
    }
    out_.append(std::to_string(s->size()));
    out_.push_back(':');
    out_.append(*s);
    out_.push_back(' ');
  }
  void endRecord() { out_.back() = '\n'; }
  void append(const std::string& records) { out_.append(records); }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  bool atEnd() const { return pos_ >= in_.size(); }
  bool ok() const { return ok_; }

  char tag() {
    if (atEnd()) return fail();
    const char t = in_[pos_];
    pos_ += 2;
    return t;
  }
  long long number() {
    long long n = 0;
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    if (pos_ >= in_.size() || in_[pos_] < '0' || in_[pos_] > '9') return fail();
    while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9')
      n = n * 10 + (in_[pos_++] - '0');
    ++pos_;  // the separator
    return negative ? -n : n;
  }
  std::optional<std::string> text() {
    if (pos_ < in_.size() && in_[pos_] == '-') {
      pos_ += 2;
      return std::nullopt;
    }
    std::size_t length = 0;
    while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9')
      length = length * 10 + static_cast<std::size_t>(in_[pos_++] - '0');
    if (pos_ >= in_.size() || in_[pos_] != ':' || in_.size() - pos_ - 1 < length) {
      fail();
      return std::string();
    }
    std::string s = in_.substr(pos_ + 1, length);
    pos_ += length + 2;
    return s;
  }

 private:
  char fail() {
    ok_ = false;
    pos_ = in_.size();
    return 0;
  }
  const std::string& in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// The functions under test, as the Windows ones are shaped. note() is told, before each
// primitive call, what it is; the oracle ignores it, the test keeps it to explain a mismatch.
struct Functions {
  std::uint32_t (*read)(const char* section, const char* key, const char* defaultValue,
                        char* buffer, std::uint32_t size, const char* file);
  int (*write)(const char* section, const char* key, const char* value, const char* file);
  void (*note)(const std::string& what);
};

inline const char* cstr(const std::optional<std::string>& s) {
  return s ? s->c_str() : nullptr;
}

// A buffer filled with a byte that no profile in the batch holds, so bytes a side leaves alone
// compare equal.
inline constexpr char kUntouched = '\x7f';
inline constexpr std::uint32_t kDumpSize = 65536;

// One read and its meaningful bytes: the value and its NUL; for a key list also the NUL that
// follows a cut list.
inline void readOnce(const Functions& f, Writer& out, const std::optional<std::string>& section,
                     const std::optional<std::string>& key,
                     const std::optional<std::string>& defaultValue, std::uint32_t size,
                     const std::string& file) {
  std::vector<char> buffer(size == 0 ? 1 : size, kUntouched);
  const std::uint32_t count =
      f.read(cstr(section), cstr(key), cstr(defaultValue), buffer.data(), size, file.c_str());
  std::size_t meaningful = static_cast<std::size_t>(count) + 1;
  if (!key && count + 2 == size) meaningful = size;
  if (meaningful > size) meaningful = size;
  out.tag('r');
  out.number(count);
  out.text(std::string(buffer.data(), meaningful));
  out.endRecord();
}

// The section as it reads: its key list, then the value of every key named in keys (a
// default that no file holds shows a missing key). The keys read do not depend on the list,
// so a list that differs does not put the two result files out of step.
inline void dumpSection(const Functions& f, Writer& out, const std::string& section,
                        const std::vector<std::string>& keys, const std::string& file) {
  f.note("dump [" + section + "]: key list");
  readOnce(f, out, section, std::nullopt, std::string("<none>"), kDumpSize, file);
  for (const std::string& key : keys) {
    f.note("dump [" + section + "] key '" + key + "'");
    readOnce(f, out, section, key, std::string("<none>"), kDumpSize, file);
  }
}

// Runs every sequence of the batch; dir is put before each file name. False when the batch is
// malformed.
inline bool runBatch(const std::string& batch, const std::string& dir, const Functions& f,
                     Writer& out) {
  Reader in(batch);
  const long long sequences = in.number();
  for (long long s = 0; s < sequences && in.ok(); ++s) {
    if (in.tag() != 'S') return false;
    const std::string file = dir + in.text().value_or("");
    const long long ops = in.number();
    f.note("sequence " + std::to_string(s) + " starts");
    out.tag('s');
    out.number(s);
    out.endRecord();
    for (long long i = 0; i < ops && in.ok(); ++i) {
      const char op = in.tag();
      const std::string where = "sequence " + std::to_string(s) + " op " + std::to_string(i);
      if (op == 'R') {
        const auto section = in.text();
        const auto key = in.text();
        const auto defaultValue = in.text();
        const auto size = static_cast<std::uint32_t>(in.number());
        f.note(where + ": read [" + section.value_or("(null)") + "] " +
               (key ? "key '" + *key + "'" : std::string("key list")) + " default '" +
               defaultValue.value_or("(null)") + "' size " + std::to_string(size));
        readOnce(f, out, section, key, defaultValue, size, file);
      } else if (op == 'W') {
        const auto section = in.text();
        const auto key = in.text();
        const auto value = in.text();
        f.note(where + ": write [" + section.value_or("(null)") + "] '" + key.value_or("(null)") +
               "' = '" + value.value_or("(null)") + "'");
        out.tag('w');
        out.number(f.write(cstr(section), cstr(key), cstr(value), file.c_str()) != 0 ? 1 : 0);
        out.endRecord();
      } else if (op == 'D') {
        const std::string section = in.text().value_or("");
        std::vector<std::string> extra(static_cast<std::size_t>(in.number()));
        for (auto& key : extra) key = in.text().value_or("");
        dumpSection(f, out, section, extra, file);
      } else {
        return false;
      }
    }
  }
  return in.ok();
}

}  // namespace differential
