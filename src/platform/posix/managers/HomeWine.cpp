// ~/.wine, Wine's own default prefix: it records no runner.
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {

std::optional<Candidate> homeWine(const Places& places, const Accepts& accepts) {
  const std::filesystem::path prefix = places.home / ".wine";
  if (!accepts(prefix)) return std::nullopt;
  return Candidate{prefix, {}, {}};
}

}  // namespace platform::posix::managers
