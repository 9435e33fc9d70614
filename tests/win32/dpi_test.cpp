// The window at 96, 120, 144 and 192 DPI, as a player's screen settings make it: the prefix's
// LogPixels is set, and the layout probe (the real window through the binding, in a process of
// its own, as DPI is read when a process starts) reports what it made. Every control sits at
// twips * dpi / 1440, the client area is 4335 x 3735 twips, the dialog font is 8 points at that
// DPI, and only a caption that cannot fit has a tool tip, with the whole caption.
#include <gtest/gtest.h>
#include <process.h>
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

// What the probe made: per control its name, left, top, width, height, font height, and its tool
// tip.
struct Made {
  std::string name;
  std::vector<int> box;
  std::string toolTip;
};
struct Probe {
  int dpi = 0, clientWidth = 0, clientHeight = 0;
  std::vector<Made> controls;
};

void set(const wchar_t* key, DWORD dpi) {
  EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"LogPixels", REG_DWORD, &dpi, sizeof dpi),
            ERROR_SUCCESS);
}

// Runs the probe with HKCU\Control Panel\Desktop\LogPixels at dpi, then puts the old value back.
Probe probeAt(DWORD dpi) {
  const wchar_t* desktop = L"Control Panel\\Desktop";
  DWORD old = 0, size = sizeof old;
  const bool had = RegGetValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                                &old, &size) == ERROR_SUCCESS;
  set(desktop, dpi);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path folder = fs::path(self).parent_path();
  const fs::path report = folder / ("layout-" + std::to_string(dpi) + ".txt");
  const std::wstring program = (folder / "kestrun_layout_probe.exe").wstring();
  const intptr_t status = _wspawnl(_P_WAIT, program.c_str(), L"\"probe\"",
                                   (L"\"" + report.wstring() + L"\"").c_str(), nullptr);
  if (had)
    set(desktop, old);
  else
    RegDeleteKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels");
  EXPECT_EQ(status, 0) << "the layout probe failed";

  Probe probe;
  std::ifstream in(report);
  std::string word;
  in >> word >> probe.dpi >> word >> probe.clientWidth >> probe.clientHeight;
  for (Made made{"", std::vector<int>(5), ""}; in >> made.name >> made.box[0] >> made.box[1] >>
                                               made.box[2] >> made.box[3] >> made.box[4];) {
    in.ignore(1);
    std::getline(in, made.toolTip);
    probe.controls.push_back(made);
  }
  return probe;
}

TEST(DpiLayout, EveryControlAtItsTwipsAndCaptionsFitFrom96To192Dpi) {
  // The probe's flight-model names: the demo's two may need a tool tip in one font and not in
  // another (either none or the whole name); the third never fits; every other caption fits.
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
      const auto& [name, got, toolTip] = probe.controls[i];
      EXPECT_EQ(name, rows[i].name);
      ui::Twips at = rows[i].at;  // in the client area: a frame's control is offset by the frame
      for (const auto& frame : rows)
        if (rows[i].container && rows[i].container == std::string(frame.name))
          at.left += frame.at.left, at.top += frame.at.top;
      EXPECT_EQ(got, (std::vector<int>{px(at.left), px(at.top), px(at.width), px(at.height),
                                       -MulDiv(8, dpi, 72)}));
      const auto tip = toolTips.find(rows[i].name);
      if (tip == toolTips.end()) {
        EXPECT_EQ(toolTip, "");
      } else if (!toolTip.empty() || !tip->second.second) {
        EXPECT_EQ(toolTip, tip->second.first);
      }
    }
  }
}

}  // namespace
