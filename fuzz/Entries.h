// What both KeyValues fuzz targets check of a parse: the shape the readers promise.
#pragma once

#include <vector>

#include "platform/posix/managers/KeyValues.h"

namespace fuzz {

// Whether entries hold blocks at most depth deep, and no value holds entries.
inline bool within(const std::vector<platform::posix::keyvalues::Entry>& entries, int depth) {
  for (const auto& entry : entries)
    if (entry.isBlock ? depth == 0 || !within(entry.entries, depth - 1) : !entry.entries.empty())
      return false;
  return true;
}

}  // namespace fuzz
