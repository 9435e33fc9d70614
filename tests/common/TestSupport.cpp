#include "TestSupport.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const std::string stamp = std::to_string(std::random_device{}()) + "-";
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("kestrun-test-" + stamp + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) path_ = fs::canonical(candidate);
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission first, so read-only fixtures can be removed.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (!it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::programPath(const fs::path& relative) const {
  fs::path full = relative.empty() ? path_ : path_ / relative;
  return full.make_preferred().string();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RecordingHost::RecordingHost() {
  ui::resetEnded();
  previous_ =
      ui::setHost(ui::Host{[this](const std::string& prompt, int style, const std::string& title) {
                             messages_.push_back({prompt, style, title});
                             return ui::kOk;
                           },
                           [this] { ++ends_; }});
}

RecordingHost::~RecordingHost() {
  ui::setHost(previous_);
  ui::resetEnded();
}

}  // namespace testing_support
