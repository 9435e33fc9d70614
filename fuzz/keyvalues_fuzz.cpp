// Fuzzes Steam's KeyValues reader: any bytes as a .vdf file, parsed and looked up along the paths
// the Steam search takes; never crashing, never deeper than the reader's limit, and a block's
// entries are the ones a lookup sees.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Entries.h"
#include "platform/posix/managers/KeyValues.h"

namespace kv = platform::posix::keyvalues;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = kv::parse(text);
  if (!entries) return 0;
  if (!fuzz::within(*entries, 64)) std::abort();
  const kv::Entry* mapping = kv::block(
      *entries, {"InstallConfigStore", "Software", "Valve", "Steam", "CompatToolMapping"});
  if (mapping && !mapping->isBlock) std::abort();
  kv::valueOf(mapping, "name");
  if (const kv::Entry* folders = kv::block(*entries, {"libraryfolders"}))
    for (const kv::Entry& entry : folders->entries) kv::valueOf(&entry, "path");
  return 0;
}
