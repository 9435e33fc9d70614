// Module1: the program's only access to profile files, over the host's profile functions.
#include "settings/Module1.h"

#include "platform/Platform.h"
#include "ui/Host.h"

namespace {

constexpr std::uint32_t kBufferSize = 1024;

}  // namespace

std::string ReadIniString(std::string& section, std::string& key, std::string& defaultValue,
                          std::string& file) {
  char buffer[kBufferSize] = {};
  // Exactly "" or "NULL", letter case significant, asks for the section's key names.
  const bool keyList = key.empty() || key == "NULL";
  std::uint32_t count =
      platform::getPrivateProfileString(section.c_str(), keyList ? nullptr : key.c_str(),
                                        defaultValue.c_str(), buffer, kBufferSize, file.c_str());
  if (count > kBufferSize - 1) count = kBufferSize - 1;
  return std::string(buffer, count);
}

std::int32_t TryWriteIniString(std::string& section, std::string& key, std::string& value,
                               std::string& file, std::string& failure) {
  const std::int32_t status = platform::writePrivateProfileString(section.c_str(), key.c_str(),
                                                                  value.c_str(), file.c_str());
  if (status == 0) {
    const std::int32_t error = platform::getLastError();
    failure = "Error " + std::string(" ") + std::to_string(status) + " Writing to " + file + "\n" +
              platform::errorMessage(error);
  }
  return status;
}

std::int32_t WriteIniString(std::string& section, std::string& key, std::string& value,
                            std::string& file) {
  std::string failure;
  const std::int32_t status = TryWriteIniString(section, key, value, file, failure);
  if (status == 0) ui::msgBox(failure, ui::kOkOnly);
  return status;
}
