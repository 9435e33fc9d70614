// The Windows side of the profile differential test: runs a batch (Batch.h) through the real
// GetPrivateProfileStringA and WritePrivateProfileStringA and writes every result.
//
//   profile_oracle BATCH RESULTS DIR [--cached]
//
// By default the profile cache is dropped before every call, so each call reads the file as a
// fresh process would (the Linux stand-ins keep no cache). --cached leaves the cache alone.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Batch.h"

namespace {

bool dropCache = true;

bool readFile(const char* path, std::string& text) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
  std::fclose(f);
  return true;
}

std::uint32_t read(const char* section, const char* key, const char* defaultValue, char* buffer,
                   std::uint32_t size, const char* file) {
  if (dropCache) WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

int write(const char* section, const char* key, const char* value, const char* file) {
  if (dropCache) WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  return WritePrivateProfileStringA(section, key, value, file);
}

void note(const std::string&) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: profile_oracle BATCH RESULTS DIR [--cached]\n");
    return 2;
  }
  if (argc > 4 && std::string(argv[4]) == "--cached") dropCache = false;
  std::string batch;
  if (!readFile(argv[1], batch)) {
    std::fprintf(stderr, "profile_oracle: cannot read %s\n", argv[1]);
    return 2;
  }
  differential::Writer out;
  if (!differential::runBatch(batch, argv[3], {read, write, note}, out)) {
    std::fprintf(stderr, "profile_oracle: malformed batch\n");
    return 2;
  }
  FILE* f = std::fopen(argv[2], "wb");
  if (!f || std::fwrite(out.str().data(), 1, out.str().size(), f) != out.str().size() ||
      std::fclose(f) != 0) {
    std::fprintf(stderr, "profile_oracle: cannot write %s\n", argv[2]);
    return 2;
  }
  return 0;
}
