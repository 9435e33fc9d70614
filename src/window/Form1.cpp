#include "window/Form1.h"

#include "platform/Platform.h"
#include "settings/General.h"
#include "ui/Host.h"

Form1::Form1(ui::Toolkit& toolkit) {
  toolkit.createWindow(ui::kAppTitle, kClientWidth, kClientHeight);

  // Created in tab order; positions in twips, relative to the container.
  Command1 = &toolkit.addCommandButton(nullptr, {120, 3240, 1455, 375}, "Copy && Launch",
                                       [this] { Command1_Click(); });
  Frame1 = &toolkit.addFrame({120, 120, 4095, 975}, "Installation Folder");
  Option1 = &toolkit.addOptionButton(Frame1, {120, 240, 255, 255}, "Option1",
                                     [this] { Option1_Click(); });
  Text1 = &toolkit.addTextBox(Frame1, {480, 240, 3495, 285}, "c:\\Gunship!");
  Option2 = &toolkit.addOptionButton(Frame1, {120, 600, 255, 255}, "Option1",
                                     [this] { Option2_Click(); });
  Text2 = &toolkit.addTextBox(Frame1, {480, 600, 3495, 285}, "c:\\Gunship!");
  Frame2 = &toolkit.addFrame({120, 1200, 4095, 1455}, "Select FM");
  for (int i = 0; i < 3; ++i)
    optFM[i] = &toolkit.addOptionButton(Frame2, {240, 240 + 360 * i, 1815, 255}, "?", nullptr);
  for (int i = 0; i < 3; ++i) {
    lblCurrent[i] = &toolkit.addLabel(Frame2, {2280, 240 + 360 * i, 975, 255}, "Current");
    // Nothing is in force until a scan says so.
    lblCurrent[i]->setVisible(false);
  }
  Command2 = &toolkit.addCommandButton(nullptr, {2760, 2760, 1455, 375}, "Copy",
                                       [this] { Command2_Click(); });
  Command3 = &toolkit.addCommandButton(nullptr, {2760, 3240, 1455, 375}, "Launch",
                                       [this] { Command3_Click(); });
  chkSr = &toolkit.addCheckBox(nullptr, {240, 2760, 1695, 255}, "Stay Resident?");

  // For screen readers: the folder options show their mark alone, so they are named after the
  // folder in their box; a flight model reads "Current" while its marker shows.
  toolkit.nameAfterText(*Option1, "Use the folder ", *Text1);
  toolkit.nameAfterText(*Option2, "Use the folder ", *Text2);
  for (int i = 0; i < 3; ++i) toolkit.describeWhileShown(*optFM[i], *lblCurrent[i]);
}

void Form1::Option1_Click() {
  if (!Option1->value()) return;
  GamePath = Text1->text();
  CheckFMs();
}

void Form1::Option2_Click() {
  if (!Option2->value()) return;
  GamePath = Text2->text();
  CheckFMs();
}

void Form1::Form_Load() {
  // The reader rewrites the key path it is given, so it gets copies of the literals.
  std::string keyPath = "HKEY_LOCAL_MACHINE\\Software\\Hasbro Interactive\\Gunship!";
  std::string valueName = "Path";
  const std::string registryFolder = ReadRegString(keyPath, valueName);

  if (registryFolder != "c:\\Gunship!" && !registryFolder.empty()) {
    Text2->setText(registryFolder);
    Option2->setValue(true);
    Option2_Click();
  }

  const std::string defaultName = platform::probeEntry("c:\\Gunship!", platform::kAttrDirectory);
  if (!defaultName.empty()) {
    const std::string defaultFolder = "c:\\" + defaultName;
    Text1->setText(defaultFolder);
    Option1->setValue(true);
    Option1_Click();
  }
}
