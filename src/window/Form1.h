// Form1: the one window, its sixteen controls and the three form-level strings.
//
// The procedures read and write the controls' states directly; there is no model object.
// Option1_Click, Option2_Click and Form_Load live in window/; the catalogue scan, the copy, the
// launch and the command buttons' click procedures in flightmodels/.
#pragma once

#include <array>
#include <string>

#include "ui/Controls.h"

class Form1 {
 public:
  // Creates the window and its controls through the host's toolkit and wires the events.
  explicit Form1(ui::Toolkit& toolkit);

  // ---- Controls, in tab order ----
  ui::CommandButton* Command1 = nullptr;
  ui::Frame* Frame1 = nullptr;
  ui::OptionButton* Option1 = nullptr;
  ui::TextBox* Text1 = nullptr;
  ui::OptionButton* Option2 = nullptr;
  ui::TextBox* Text2 = nullptr;
  ui::Frame* Frame2 = nullptr;
  std::array<ui::OptionButton*, 3> optFM{};
  std::array<ui::Label*, 3> lblCurrent{};
  ui::CommandButton* Command2 = nullptr;
  ui::CommandButton* Command3 = nullptr;
  ui::CheckBox* chkSr = nullptr;

  // ---- Form-level strings ----
  std::string GamePath;  // the installation folder in use
  std::string IniFile;   // GamePath & "\data\custom.ini", as the last scan built it
  std::string GameExe;   // the game executable's name as the last scan found it, or empty

  // ---- Event procedures ----
  void Form_Load();
  void Option1_Click();
  void Option2_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();

  // ---- Form procedures ----
  void CheckFMs();
  // Copies the picked flight model into force, stopping at the first write that fails with one
  // message. True when every value was copied, or nothing was picked.
  bool FindCopyFM();
  bool CopyFM(std::string& section);
  void LaunchGS();

  // Window client area in twips.
  static constexpr int kClientWidth = 4335;
  static constexpr int kClientHeight = 3735;
};
