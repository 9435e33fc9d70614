// Fuzzes Steam's binary KeyValues reader: any bytes as a shortcuts.vdf, parsed and looked up along
// the path the Steam search takes; never crashing, never deeper than the reader's limit, and a
// value never holds entries.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Entries.h"
#include "platform/posix/managers/BinaryKeyValues.h"

namespace bkv = platform::posix::binarykeyvalues;
namespace kv = platform::posix::keyvalues;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto entries = bkv::parse(bytes);
  if (!entries) return 0;
  if (!fuzz::within(*entries, bkv::kMaxDepth)) std::abort();
  if (const kv::Entry* shortcuts = kv::block(*entries, {"shortcuts"}))
    for (const kv::Entry& shortcut : shortcuts->entries)
      for (const char* key : {"appid", "AppName", "Exe", "StartDir"}) kv::valueOf(&shortcut, key);
  return 0;
}
