// A program for the start tests to start: it appends its own path and its current folder, one
// line each, to the file named by KESTRUN_PROBE_LOG, then exits.
#include <windows.h>

#include <cstdio>

int main() {
  char log[MAX_PATH] = {};
  if (GetEnvironmentVariableA("KESTRUN_PROBE_LOG", log, MAX_PATH) == 0) return 1;
  char self[MAX_PATH] = {};
  char folder[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, folder);
  std::FILE* out = std::fopen(log, "ab");
  if (out == nullptr) return 1;
  std::fprintf(out, "%s\n%s\n", self, folder);
  std::fclose(out);
  return 0;
}
