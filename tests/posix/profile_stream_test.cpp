// Profile reads as a stream: whatever pieces the text comes in, a read gives the same answer;
// it stops at the end of the wanted section, and what it holds at once is bounded by the lines
// it looks at, not by the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/posix/ProfileText.h"

namespace {

// The largest single allocation since the last reset.
std::atomic<std::size_t> largestAllocation{0};

void* allocate(std::size_t size, bool throws = true) {
  std::size_t seen = largestAllocation.load();
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  void* p = std::malloc(size ? size : 1);
  if (!p && throws) throw std::bad_alloc();
  return p;
}

}  // namespace

// Every form that pairs with the deletes below (the aligned ones keep their own pairs), so that
// the sanitizers see matching calls.
// clang-format off
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, false); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, false); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on

namespace {

using namespace std::string_literals;
using namespace platform::posix::profile;

std::string utf16le(std::u16string_view text) {
  return testing_support::utf16(text, false);
}

TEST(ProfileStream, ReadsGiveTheSameInPiecesOfAnySize) {
  const std::string lines =
      "; c\r\n  [ Other ]\r\nk=no\r\nx[s]\r\n[s\r\n\t[S] tail\r\nk = \"v 1\" \r\n"
      "n=ab\0cd\r\nq=\"ab\0c\"\r\nbare\r\n\r\n[s]\r\nk=late\r\n"s;
  const struct {
    const char* what;
    std::string text;
    const char* section;
    std::optional<std::string> key;  // none: the key list
    std::string result;
  } cases[] = {
      {"value", lines, " s ", "K", "v 1"},
      {"value after a NUL is cut", lines, "s", "n", "ab"},
      {"quotes after the NUL cut", lines, "s", "q", "\"ab"},
      {"key list", lines, "s", std::nullopt, "k\0n\0q\0"s},
      {"missing key: default", lines, "s", "bare", "dflt"},
      {"header with blanks", lines, "other", "k", "no"},
      {"the empty section", "k=top\n[s]\nk=1\n", "", "k", "top"},
      {"CR line breaks", "[a]\rk=1\r[s]\rk=2\r", "s", "k", "2"},
      {"UTF-8 mark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "1"},
      {"UTF-16LE", utf16le(u"[Ä]\r\nk=1\r\n[Sé]\r\nKé=ü 😀\r\nx=\xDC00\r\n"), "sé", "Ké", "ü 😀"},
      {"UTF-16LE key list", utf16le(u"[s]\r\nKé=1\r\n;c=1\r\nb=\r\n"), "s", std::nullopt,
       "Ké\0b\0"s},
      {"UTF-16LE unpaired surrogate", utf16le(u"[s]\r\nx=a\xDC00\r\n"), "s", "x", "a\xEF\xBF\xBD"},
      {"UTF-16LE NUL", utf16le(u"[s]\nx=ab\0cd\n"s), "s", "x", "ab"},
      {"UTF-16BE", testing_support::utf16(u"[t]\nk=2\n[s]\nk=ß\n", true), "S", "k", "ß"},
      {"UTF-16 mark only", "\xFF\xFE", "s", "k", "dflt"},
      {"UTF-16 name that is not UTF-8", utf16le(u"[s]\nk=1\n"), "s", "\xFF", "dflt"},
  };
  for (const auto& c : cases)
    for (const std::size_t piece : {1u, 2u, 3u, 7u, 64u, 1u << 20}) {
      SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
      TextSource in(c.text, piece);
      char buffer[64];
      const auto n = c.key ? readValue(in, c.section, *c.key, "dflt", buffer, sizeof buffer)
                           : readKeyNames(in, c.section, "dflt", buffer, sizeof buffer);
      EXPECT_EQ(std::string(buffer, n), c.result);
    }
}

// A text in memory, counting what was read of it, without TextSource's hint of its size.
struct CountingSource final : Source {
  explicit CountingSource(std::string_view bytes) : text(bytes) {}
  std::size_t read(char* into, std::size_t size) override {
    const std::size_t n = text.read(into, size);
    consumed += n;
    return n;
  }
  TextSource text;
  std::size_t consumed = 0;
};

std::string repeated(const std::string& part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  while (times-- > 0) text += part;
  return text;
}

TEST(ProfileStream, ReadsStopAtTheSectionsEndAndHoldOnlyTheLinesTheyLookAt) {
  const std::string filler =
      repeated("[Filler]\r\nValue=" + std::string(40, 'x') + "\r\n", 1 << 16);
  const struct {
    const char* what;
    std::string text;
    const char* key;
    std::string result;
    std::size_t mostRead;       // bytes taken from the source at most
    std::size_t largestMemory;  // the largest allocation at most
  } cases[] = {
      {"stops after the section", "[s]\nk=1\n[t]\n" + filler, "k", "1", 64 << 10, 128 << 10},
      {"missing key stops too", "[s]\nk=1\n[t]\n" + filler, "z", "dflt", 64 << 10, 128 << 10},
      {"4 MiB of other sections", filler + "[s]\nk=1\n", "k", "1", ~0u, 128 << 10},
      {"a 32 MiB line outside the section", "[t]\nk=" + std::string(32 << 20, 'v') + "\n[s]\nk=1\n",
       "k", "1", ~0u, 128 << 10},
      {"a 4 MiB value in the section", "[s]\nk=" + std::string(4 << 20, 'v') + "\n[t]\n", "k",
       std::string(63, 'v'), ~0u, 16 << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CountingSource in(c.text);
    char buffer[64];
    largestAllocation = 0;
    const auto n = readValue(in, "s", c.key, "dflt", buffer, sizeof buffer);
    const std::size_t largest = largestAllocation;
    EXPECT_EQ(std::string(buffer, n), c.result);
    EXPECT_LE(in.consumed, c.mostRead);
    EXPECT_LE(largest, c.largestMemory);
  }
}

}  // namespace
