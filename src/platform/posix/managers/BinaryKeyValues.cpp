#include "platform/posix/managers/BinaryKeyValues.h"

#include <cstdint>
#include <string>

namespace platform::posix::binarykeyvalues {
namespace {

enum Type : unsigned char { kBlock = 0x00, kString = 0x01, kInt32 = 0x02, kEnd = 0x08 };

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  // The entries up to the end byte of the block (depth > 0), or up to a top-level end byte or
  // the end of the bytes (depth 0).
  std::optional<std::vector<Entry>> entries(int depth) {
    std::vector<Entry> list;
    while (true) {
      if (at_ == bytes_.size()) {
        if (depth == 0) return list;
        return std::nullopt;
      }
      const auto type = static_cast<unsigned char>(bytes_[at_++]);
      if (type == kEnd) return list;
      Entry entry;
      if (!text(entry.key)) return std::nullopt;
      if (type == kBlock) {
        if (depth + 1 > kMaxDepth) return std::nullopt;
        auto inner = entries(depth + 1);
        if (!inner) return std::nullopt;
        entry.entries = std::move(*inner);
        entry.isBlock = true;
      } else if (type == kString) {
        if (!text(entry.value)) return std::nullopt;
      } else if (type == kInt32) {
        if (bytes_.size() - at_ < 4) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
          value = value << 8 | static_cast<unsigned char>(bytes_[at_ + static_cast<unsigned>(i)]);
        at_ += 4;
        entry.value = std::to_string(value);
      } else {
        return std::nullopt;
      }
      list.push_back(std::move(entry));
    }
  }

 private:
  // The bytes up to the next NUL into out, past the NUL; false when no NUL is left.
  bool text(std::string& out) {
    const std::size_t nul = bytes_.find('\0', at_);
    if (nul == std::string_view::npos) return false;
    out.assign(bytes_.substr(at_, nul - at_));
    at_ = nul + 1;
    return true;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<Entry>> parse(std::string_view bytes) {
  return Reader(bytes).entries(0);
}

}  // namespace platform::posix::binarykeyvalues
