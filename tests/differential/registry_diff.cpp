// The Linux side of the registry differential test: General's ReadRegString over our reading of
// the prefix's hives (WINEPREFIX), for the same queries the oracle ran through Wine's own
// registry, compared result by result.
//
//   registry_diff QUERIES WINDOWS_RESULTS
//
// QUERIES: one a line, the key's full path, a tab, the value's name. WINDOWS_RESULTS: the
// oracle's answers, one a line, UTF-8 in hex.
#include <fstream>
#include <iostream>
#include <string>

#include "settings/General.h"
#include "ui/Seam.h"

namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

std::string unhex(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::string shown(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\t')
      out += "\\t";
    else if (c < 0x20)
      out += "\\x" + hex(std::string(1, static_cast<char>(c)));
    else
      out.push_back(static_cast<char>(c));
  }
  return out.size() > 80 ? out.substr(0, 60) + "...(" + std::to_string(s.size()) + " bytes)" : out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: registry_diff QUERIES WINDOWS_RESULTS\n";
    return 2;
  }
  std::ifstream queries(argv[1]), theirs(argv[2]);
  if (!queries || !theirs) {
    std::cerr << "registry_diff: cannot read the files\n";
    return 2;
  }
  // A malformed path shows a message box; here it is answered at once.
  ui::setHost({[](const std::string&, int, const std::string&) { return ui::kOk; }, [] {}});

  int count = 0, mismatches = 0;
  std::string query, answer;
  while (std::getline(queries, query)) {
    if (!std::getline(theirs, answer)) {
      std::cerr << "registry_diff: the oracle answered fewer queries\n";
      return 1;
    }
    ++count;
    const auto tab = query.find('\t');
    std::string path = query.substr(0, tab);
    std::string value = tab == std::string::npos ? std::string() : query.substr(tab + 1);
    const std::string ours = ReadRegString(path, value);
    const std::string windows = unhex(answer);
    const bool same = ours == windows;
    if (!same) ++mismatches;
    std::cout << (same ? "same      " : "MISMATCH  ") << shown(query) << "\n"
              << "    ours:    \"" << shown(ours) << "\"\n";
    if (!same) std::cout << "    Windows: \"" << shown(windows) << "\"\n";
  }
  std::cout << "registry_diff: " << count << " queries, " << mismatches << " disagree\n";
  return mismatches == 0 && count > 0 ? 0 : 1;
}
