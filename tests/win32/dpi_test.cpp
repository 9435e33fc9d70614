// The window at 96, 120, 144 and 192 DPI, as a player's screen settings make it: the prefix's
// LogPixels is set, and the layout probe (the real window through the binding, in a process of
// its own, as DPI is read when a process starts) reports what it made. Every control sits at
// twips * dpi / 1440, the client area is 4335 x 3735 twips, the dialog font is 8 points at that
// DPI, and only a caption that cannot fit has a tool tip, with the whole caption.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "WindowLayout.h"

namespace {

namespace fs = std::filesystem;

struct Probe {
  int dpi = 0, clientWidth = 0, clientHeight = 0;
  struct Control {
    int left, top, width, height, fontHeight;
    std::string toolTip;
  };
  std::vector<Control> controls;
};

// Sets HKCU\Control Panel\Desktop\LogPixels for the probe's run, then puts the old value back.
Probe probeAt(DWORD dpi) {
  HKEY desktop = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &desktop, nullptr),
            ERROR_SUCCESS);
  DWORD old = 0, size = sizeof old;
  const bool had = RegQueryValueExW(desktop, L"LogPixels", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS;
  RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                 sizeof dpi);

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path folder = fs::path(self).parent_path();
  const fs::path report = folder / ("layout-" + std::to_string(dpi) + ".txt");
  std::wstring command =
      L"\"" + (folder / "kestrun_layout_probe.exe").wstring() + L"\" \"" + report.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD status = 99;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (had)
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old),
                   sizeof old);
  else
    RegDeleteValueW(desktop, L"LogPixels");
  RegCloseKey(desktop);
  EXPECT_EQ(status, 0u) << "the layout probe failed";

  Probe probe;
  std::ifstream in(report);
  std::string word;
  in >> word >> probe.dpi >> word >> probe.clientWidth >> probe.clientHeight;
  for (Probe::Control c; in >> c.left >> c.top >> c.width >> c.height >> c.fontHeight;) {
    in.ignore(1);
    std::getline(in, c.toolTip);
    probe.controls.push_back(c);
  }
  return probe;
}

TEST(DpiLayout, EveryControlAtItsTwipsAndCaptionsFitFrom96To192Dpi) {
  // The probe's flight-model names: the demo's may need a tool tip in one font and not in
  // another; the third never fits. Every other caption of the window fits.
  const std::map<std::string, std::pair<std::string, bool>> toolTips = {
      {"optFM0", {"Apache Flight Model", true}},
      {"optFM1", {"Tiger Flight Model", true}},
      {"optFM2", {"Mil Mi-28N Night Havoc Flight Model", false}}};
  const auto& rows = testing_support::kWindowLayout;
  for (const int dpi : {96, 120, 144, 192}) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    const Probe probe = probeAt(static_cast<DWORD>(dpi));
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    ASSERT_EQ(probe.dpi, dpi) << "the prefix's LogPixels did not reach the program";
    EXPECT_EQ(probe.clientWidth, px(testing_support::kClientWidth));
    EXPECT_EQ(probe.clientHeight, px(testing_support::kClientHeight));
    ASSERT_EQ(probe.controls.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
      SCOPED_TRACE(rows[i].name);
      const auto& got = probe.controls[i];
      ui::Twips at = rows[i].at;  // in the client area: a frame's control is offset by the frame
      for (const auto& frame : rows) {
        if (rows[i].container != nullptr && rows[i].container == std::string(frame.name)) {
          at.left += frame.at.left;
          at.top += frame.at.top;
        }
      }
      EXPECT_EQ((std::vector<int>{got.left, got.top, got.width, got.height, got.fontHeight}),
                (std::vector<int>{px(at.left), px(at.top), px(at.width), px(at.height),
                                  -MulDiv(8, dpi, 72)}));
      const auto tip = toolTips.find(rows[i].name);
      if (tip == toolTips.end()) {
        EXPECT_EQ(got.toolTip, "");
      } else if (!(tip->second.second && got.toolTip.empty())) {
        EXPECT_EQ(got.toolTip, tip->second.first);
      }
    }
  }
}

}  // namespace
