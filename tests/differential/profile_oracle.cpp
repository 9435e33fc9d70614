// The Windows side of the profile differential test: runs a batch (Batch.h) through the real
// GetPrivateProfileStringA and WritePrivateProfileStringA and writes every result.
//
//   profile_oracle BATCH RESULTS DIR
//
// The profile cache is dropped before every call, so each call reads the file as a fresh process
// would (the Linux stand-ins keep no cache).
#include <windows.h>

#include "Batch.h"

namespace {

std::uint32_t read(const char* section, const char* key, const char* defaultValue, char* buffer,
                   std::uint32_t size, const char* file) {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

int write(const char* section, const char* key, const char* value, const char* file) {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  return WritePrivateProfileStringA(section, key, value, file);
}

}  // namespace

int main(int argc, char** argv) {
  std::string batch;
  differential::Writer out;
  if (argc != 4 || !differential::readFile(argv[1], batch) ||
      !differential::runBatch(batch, argv[3], {read, write}, out) ||
      !differential::writeFile(argv[2], out.str())) {
    std::fprintf(stderr,
                 "usage: profile_oracle BATCH RESULTS DIR (a readable, well-formed batch)\n");
    return 2;
  }
  return 0;
}
