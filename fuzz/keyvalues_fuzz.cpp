// Fuzzes Steam's KeyValues reader: any bytes as a .vdf file, parsed and looked up along the paths
// the Steam search takes; never crashing, never deeper than the reader's limit, and a block's
// entries are the ones a lookup sees.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/managers/KeyValues.h"

namespace {

namespace kv = platform::posix::keyvalues;

// Whether entries hold blocks at most depth deep, and no value holds entries.
bool within(const std::vector<kv::Entry>& entries, int depth) {
  for (const kv::Entry& entry : entries)
    if (entry.isBlock ? depth == 0 || !within(entry.entries, depth - 1) : !entry.entries.empty())
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = kv::parse(text);
  if (!entries) return 0;
  if (!within(*entries, 64)) std::abort();
  const kv::Entry* mapping = kv::block(
      *entries, {"InstallConfigStore", "Software", "Valve", "Steam", "CompatToolMapping"});
  if (mapping && !mapping->isBlock) std::abort();
  kv::valueOf(mapping, "name");
  if (const kv::Entry* folders = kv::block(*entries, {"libraryfolders"}))
    for (const kv::Entry& entry : folders->entries) kv::valueOf(&entry, "path");
  return 0;
}
