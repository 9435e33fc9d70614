// What both sides of the differential tests share: the file format, whole-file reading and
// writing, and the batch of profile operations that the Linux stand-ins (in the test program)
// and the real kernel32 functions (in the oracle, under Wine) both run.
//
// Both sides run the same procedure (runBatch) over the same batch file, so the only thing that
// can make their result files differ is the profile functions themselves. Header-only and free
// of any host header: the oracles are built from it with MinGW alone.
//
// The files are sequences of tokens, each followed by one blank or line break:
//   - a number in decimal;
//   - a string as LENGTH:BYTES (the bytes may be anything, NUL included), or '-' for none;
//   - a one-letter tag.
//
// Batch:   COUNT, then per sequence: 'S' FILE OPS, then OPS operations:
//            'R' SECTION KEY-or-none DEFAULT SIZE     one read (key none: the key list)
//            'W' SECTION KEY VALUE                     one write
//            'D' SECTION KEYS KEY...                   the section as it reads: see runBatch
// Results: 's' NUMBER at the start of each sequence, then per call 'r' COUNT BYTES (the buffer's
// meaningful bytes) or 'w' STATUS.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace differential {

using Text = std::optional<std::string>;

inline bool readFile(const std::string& path, std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, got);
  return std::fclose(f) == 0;
}

inline bool writeFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  return f && std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fclose(f) == 0;
}

class Writer {
 public:
  void tag(char t) { out_ += {t, ' '}; }
  void number(long long n) { out_ += std::to_string(n) + ' '; }
  void text(const Text& s) { out_ += s ? std::to_string(s->size()) + ':' + *s + ' ' : "- "; }
  void endRecord() { out_.back() = '\n'; }
  void append(const std::string& records) { out_ += records; }
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
    pos_ += 2;
    return in_[pos_ - 2];
  }
  long long number() {
    const std::size_t start = pos_;
    long long n = 0;
    while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9')
      n = n * 10 + in_[pos_++] - '0';
    if (pos_ == start) return fail();
    ++pos_;  // the separator
    return n;
  }
  Text text() {
    if (pos_ < in_.size() && in_[pos_] == '-') {
      pos_ += 2;
      return std::nullopt;
    }
    const auto length = static_cast<std::size_t>(number());  // steps over the ':'
    if (!ok_ || in_[pos_ - 1] != ':' || in_.size() - pos_ < length) {
      fail();
      return std::string();
    }
    pos_ += length + 1;
    return in_.substr(pos_ - length - 1, length);
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

// The profile functions under test, as the Windows ones are shaped.
struct Functions {
  std::uint32_t (*read)(const char* section, const char* key, const char* defaultValue,
                        char* buffer, std::uint32_t size, const char* file);
  int (*write)(const char* section, const char* key, const char* value, const char* file);
};

inline const char* cstr(const Text& s) {
  return s ? s->c_str() : nullptr;
}

// A buffer is filled with a byte that no profile in the batch holds, so bytes a side leaves alone
// compare equal. Dumps read into a buffer that holds any section whole.
inline constexpr char kUntouched = '\x7f';
inline constexpr std::uint32_t kDumpSize = 65536;

// One read and its meaningful bytes: the value and its NUL; for a key list also the NUL that
// follows a cut list.
inline void readOnce(const Functions& f, Writer& out, const Text& section, const Text& key,
                     const Text& defaultValue, std::uint32_t size, const std::string& file) {
  std::vector<char> buffer(size == 0 ? 1 : size, kUntouched);
  const std::uint32_t count =
      f.read(cstr(section), cstr(key), cstr(defaultValue), buffer.data(), size, file.c_str());
  std::size_t meaningful = !key && count + 2 == size ? size : std::size_t{count} + 1;
  if (meaningful > size) meaningful = size;
  out.tag('r');
  out.number(count);
  out.text(std::string(buffer.data(), meaningful));
  out.endRecord();
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
    out.tag('s');
    out.number(s);
    out.endRecord();
    for (long long i = 0; i < ops && in.ok(); ++i) {
      const char op = in.tag();
      const Text section = in.text();
      if (op == 'R') {
        const Text key = in.text(), defaultValue = in.text();
        readOnce(f, out, section, key, defaultValue, static_cast<std::uint32_t>(in.number()), file);
      } else if (op == 'W') {
        const Text key = in.text(), value = in.text();
        out.tag('w');
        out.number(f.write(cstr(section), cstr(key), cstr(value), file.c_str()) != 0 ? 1 : 0);
        out.endRecord();
      } else if (op == 'D') {
        // The section as it reads: its key list, then the value of every key named (a default
        // that no file holds shows a missing key). The keys read do not depend on the list, so
        // a list that differs does not put the two result files out of step.
        readOnce(f, out, section, std::nullopt, std::string("<none>"), kDumpSize, file);
        for (long long k = in.number(); k > 0 && in.ok(); --k)
          readOnce(f, out, section, in.text(), std::string("<none>"), kDumpSize, file);
      } else {
        return false;
      }
    }
  }
  return in.ok();
}

}  // namespace differential
