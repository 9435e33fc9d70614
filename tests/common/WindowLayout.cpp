#include "WindowLayout.h"

namespace testing_support {

const std::vector<LayoutRow> kWindowLayout = {
    {"Command1", Kind::Button, nullptr, "Copy && Launch", "Copy & Launch", {120, 3240, 1455, 375}},
    {"Frame1", Kind::Frame, nullptr, "Installation Folder", nullptr, {120, 120, 4095, 975}},
    {"Option1", Kind::Option, "Frame1", "Option1", "", {120, 240, 255, 255}},
    {"Text1", Kind::Text, "Frame1", "c:\\Gunship!", nullptr, {480, 240, 3495, 285}},
    {"Option2", Kind::Option, "Frame1", "Option1", "", {120, 600, 255, 255}},
    {"Text2", Kind::Text, "Frame1", "c:\\Gunship!", nullptr, {480, 600, 3495, 285}},
    {"Frame2", Kind::Frame, nullptr, "Select FM", nullptr, {120, 1200, 4095, 1455}},
    {"optFM0", Kind::Option, "Frame2", "?", nullptr, {240, 240, 1815, 255}},
    {"optFM1", Kind::Option, "Frame2", "?", nullptr, {240, 600, 1815, 255}},
    {"optFM2", Kind::Option, "Frame2", "?", nullptr, {240, 960, 1815, 255}},
    {"lblCurrent0", Kind::Label, "Frame2", "Current", nullptr, {2280, 240, 975, 255}},
    {"lblCurrent1", Kind::Label, "Frame2", "Current", nullptr, {2280, 600, 975, 255}},
    {"lblCurrent2", Kind::Label, "Frame2", "Current", nullptr, {2280, 960, 975, 255}},
    {"Command2", Kind::Button, nullptr, "Copy", nullptr, {2760, 2760, 1455, 375}},
    {"Command3", Kind::Button, nullptr, "Launch", nullptr, {2760, 3240, 1455, 375}},
    {"chkSr", Kind::Check, nullptr, "Stay Resident?", nullptr, {240, 2760, 1695, 255}},
};

Controls buildWindow(ui::Toolkit& toolkit,
                     const std::function<ui::Procedure(const std::string&)>& procedureFor) {
  Controls controls;
  toolkit.createWindow("Kestrun", kClientWidth, kClientHeight);
  for (const LayoutRow& row : kWindowLayout) {
    auto* frame = row.container ? dynamic_cast<ui::Frame*>(controls.at(row.container)) : nullptr;
    ui::Control* made = nullptr;
    switch (row.kind) {
      case Kind::Button:
        made = &toolkit.addCommandButton(frame, row.at, row.caption, procedureFor(row.name));
        break;
      case Kind::Frame:
        made = &toolkit.addFrame(row.at, row.caption);
        break;
      case Kind::Option:
        made = &toolkit.addOptionButton(frame, row.at, row.caption, procedureFor(row.name));
        break;
      case Kind::Text:
        made = &toolkit.addTextBox(frame, row.at, row.caption);
        break;
      case Kind::Label:
        made = &toolkit.addLabel(frame, row.at, row.caption);
        break;
      case Kind::Check:
        made = &toolkit.addCheckBox(frame, row.at, row.caption);
        break;
    }
    controls[row.name] = made;
  }
  return controls;
}

}  // namespace testing_support
