#include "platform/posix/managers/KeyValues.h"

#include "platform/posix/Text.h"

namespace platform::posix::keyvalues {
namespace {

constexpr int kMaxDepth = 64;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // The entries up to the end of the text (depth 0) or up to the "}" that closes the block.
  std::optional<std::vector<Entry>> entries(int depth) {
    std::vector<Entry> list;
    while (true) {
      skipBlanksAndComments();
      if (atEnd()) {
        if (depth == 0) return list;
        return std::nullopt;
      }
      if (peek() == '}') {
        ++at_;
        if (depth == 0) return std::nullopt;
        return list;
      }
      Entry entry;
      if (!token(entry.key)) return std::nullopt;
      skipBlanksAndComments();
      if (!atEnd() && peek() == '{') {
        ++at_;
        if (depth + 1 > kMaxDepth) return std::nullopt;
        auto inner = entries(depth + 1);
        if (!inner) return std::nullopt;
        entry.entries = std::move(*inner);
        entry.isBlock = true;
      } else if (!token(entry.value)) {
        return std::nullopt;
      }
      list.push_back(std::move(entry));
    }
  }

 private:
  bool atEnd() const { return at_ >= text_.size(); }
  char peek() const { return text_[at_]; }

  void skipBlanksAndComments() {
    while (!atEnd()) {
      const char c = peek();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        ++at_;
      } else if (text_.substr(at_, 2) == "//") {
        const std::size_t end = text_.find('\n', at_);
        at_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else {
        return;
      }
    }
  }

  // A quoted string or a bare word into out; false at the end, before a brace, or in a string
  // left open.
  bool token(std::string& out) {
    if (atEnd() || peek() == '{' || peek() == '}') return false;
    if (peek() != '"') {
      const std::size_t end = text_.find_first_of(" \t\r\n\f\v\"{}", at_);
      const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
      out.assign(text_.substr(at_, stop - at_));
      at_ = stop;
      return true;
    }
    for (++at_; !atEnd(); ++at_) {
      char c = peek();
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c == '\\' && at_ + 1 < text_.size()) {
        const char next = text_[at_ + 1];
        const char escaped = next == 'n' ? '\n' : next == 't' ? '\t' : next;
        if (next == 'n' || next == 't' || next == '\\' || next == '"') {
          c = escaped;
          ++at_;
        }
      }
      out.push_back(c);
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<Entry>> parse(std::string_view text) {
  return Reader(text).entries(0);
}

const Entry* find(const std::vector<Entry>& entries, std::string_view key) {
  for (const Entry& entry : entries)
    if (text::equalsIgnoringAsciiCase(entry.key, key)) return &entry;
  return nullptr;
}

const Entry* block(const std::vector<Entry>& entries,
                   std::initializer_list<std::string_view> path) {
  const std::vector<Entry>* list = &entries;
  const Entry* found = nullptr;
  for (const std::string_view key : path) {
    found = find(*list, key);
    if (!found || !found->isBlock) return nullptr;
    list = &found->entries;
  }
  return found;
}

std::string valueOf(const Entry* block, std::string_view key) {
  if (!block) return {};
  const Entry* entry = find(block->entries, key);
  return entry && !entry->isBlock ? entry->value : std::string();
}

}  // namespace platform::posix::keyvalues
