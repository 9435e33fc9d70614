#include "WindowLayout.h"

#include <string>

namespace testing_support {

const std::vector<LayoutRow> kWindowLayout = {
    {"Command1", nullptr, "Copy && Launch", "Copy & Launch", true, {120, 3240, 1455, 375}},
    {"Frame1", nullptr, "Installation Folder", nullptr, true, {120, 120, 4095, 975}},
    {"Option1", "Frame1", "Option1", "", true, {120, 240, 255, 255}},
    {"Text1", "Frame1", "c:\\Gunship!", nullptr, true, {480, 240, 3495, 285}},
    {"Option2", "Frame1", "Option1", "", true, {120, 600, 255, 255}},
    {"Text2", "Frame1", "c:\\Gunship!", nullptr, true, {480, 600, 3495, 285}},
    {"Frame2", nullptr, "Select FM", nullptr, true, {120, 1200, 4095, 1455}},
    {"optFM0", "Frame2", "?", nullptr, true, {240, 240, 1815, 255}},
    {"optFM1", "Frame2", "?", nullptr, true, {240, 600, 1815, 255}},
    {"optFM2", "Frame2", "?", nullptr, true, {240, 960, 1815, 255}},
    {"lblCurrent0", "Frame2", "Current", nullptr, false, {2280, 240, 975, 255}},
    {"lblCurrent1", "Frame2", "Current", nullptr, false, {2280, 600, 975, 255}},
    {"lblCurrent2", "Frame2", "Current", nullptr, false, {2280, 960, 975, 255}},
    {"Command2", nullptr, "Copy", nullptr, true, {2760, 2760, 1455, 375}},
    {"Command3", nullptr, "Launch", nullptr, true, {2760, 3240, 1455, 375}},
    {"chkSr", nullptr, "Stay Resident?", nullptr, true, {240, 2760, 1695, 255}},
};

ui::Control* controlNamed(const Form1& form, std::string_view name) {
  const std::pair<std::string_view, ui::Control*> controls[] = {
      {"Command1", form.Command1}, {"Frame1", form.Frame1},     {"Option1", form.Option1},
      {"Text1", form.Text1},       {"Option2", form.Option2},   {"Text2", form.Text2},
      {"Frame2", form.Frame2},     {"Command2", form.Command2}, {"Command3", form.Command3},
      {"chkSr", form.chkSr}};
  for (const auto& [member, control] : controls)
    if (name == member) return control;
  for (std::size_t i = 0; i < 3; ++i) {
    if (name == "optFM" + std::to_string(i)) return form.optFM[i];
    if (name == "lblCurrent" + std::to_string(i)) return form.lblCurrent[i];
  }
  return nullptr;
}

}  // namespace testing_support
