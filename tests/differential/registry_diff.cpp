// The Linux side of the registry differential test: General's ReadRegString over our reading of
// the prefix's hives (WINEPREFIX), for the same queries the oracle ran through Wine's own
// registry, compared result by result.
//
//   registry_diff QUERIES WINDOWS_RESULTS
//
// QUERIES: one a line, the key's full path, a tab, the value's name. WINDOWS_RESULTS: the
// oracle's answers, one string (Batch.h) a line.
#include <iostream>
#include <sstream>
#include <string>

#include "Batch.h"
#include "settings/General.h"
#include "ui/Host.h"

namespace {

std::string shown(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
    out += c == '\t' ? "\\t" : c < 0x20 ? escaped : std::string(1, static_cast<char>(c));
  }
  return out.size() > 80 ? out.substr(0, 60) + "...(" + std::to_string(s.size()) + " bytes)" : out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string queries, answers;
  if (argc != 3 || !differential::readFile(argv[1], queries) ||
      !differential::readFile(argv[2], answers)) {
    std::cerr << "usage: registry_diff QUERIES WINDOWS_RESULTS (both readable)\n";
    return 2;
  }
  // A malformed path shows a message box; here it is answered at once.
  ui::setHost({[](const std::string&, int, const std::string&) { return ui::kOk; }, [] {}});

  std::istringstream lines(queries);
  differential::Reader theirs(answers);
  int count = 0, mismatches = 0;
  for (std::string query; std::getline(lines, query); ++count) {
    const auto windows = theirs.text();
    if (!theirs.ok() || !windows) {
      std::cerr << "registry_diff: the oracle answered fewer queries\n";
      return 1;
    }
    const auto tab = query.find('\t');
    std::string path = query.substr(0, tab), value = query.substr(tab + 1);
    const std::string ours = ReadRegString(path, value);
    const bool same = ours == *windows;
    mismatches += same ? 0 : 1;
    std::cout << (same ? "same      " : "MISMATCH  ") << shown(query) << "\n    ours:    \""
              << shown(ours) << "\"\n";
    if (!same) std::cout << "    Windows: \"" << shown(*windows) << "\"\n";
  }
  std::cout << "registry_diff: " << count << " queries, " << mismatches << " disagree\n";
  return mismatches == 0 && count > 0 ? 0 : 1;
}
