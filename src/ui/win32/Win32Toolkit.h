// The Win32 binding of the window toolkit: one fixed-size top-level window of plain USER32
// controls.
//
// Frames are group boxes. A frame's controls are not its children: they are children of the
// window, placed at the frame's offset. That keeps every control in one sibling list, where the
// dialog manager's tab order (creation order), its radio-button groups (WS_GROUP) and the
// automatic radio buttons' exclusion all work unaided. WS_GROUP starts a group at the first
// control of each frame and at every control of the window itself, so a frame's option buttons
// exclude each other and nothing outside the frame.
//
// Places and sizes are twips, turned into pixels at the window's DPI (twips * dpi / 1440), with
// the dialog font at that DPI. The program is per-monitor DPI aware (its manifest says so): when
// the window moves to a monitor of another DPI, it lays itself out again from the twips. A caption
// too wide for its control shows whole in the control's tool tip.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace ui::win32 {

class Win32Control;

class Win32Toolkit : public Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  void createWindow(const std::string& title, int clientWidth, int clientHeight) override;
  Frame& addFrame(const Twips& at, const std::string& caption) override;
  OptionButton& addOptionButton(Frame* container, const Twips& at, const std::string& caption,
                                Procedure onClick) override;
  TextBox& addTextBox(Frame* container, const Twips& at, const std::string& text) override;
  Label& addLabel(Frame* container, const Twips& at, const std::string& caption) override;
  CheckBox& addCheckBox(Frame* container, const Twips& at, const std::string& caption) override;
  CommandButton& addCommandButton(Frame* container, const Twips& at, const std::string& caption,
                                  Procedure onClick) override;
  // Option buttons answer screen readers with the name or description given here
  // (AccessibleOption.h); everything else reads through the standard objects of its window class.
  void nameAfterText(OptionButton& option, const std::string& prefix, TextBox& box) override;
  void describeWhileShown(OptionButton& option, Label& marker) override;
  int run(const Procedure& onLoad) override;

  // The top-level window (nullptr before createWindow and after it is destroyed).
  HWND window() const { return window_; }
  // The window handle behind a control this toolkit made.
  static HWND handleOf(const Control& control);
  // The window's DPI, and pixels for twips at it, across and down alike: twips * dpi / 1440.
  int dpi() const { return dpi_; }
  int pixels(int twips) const;
  // The tool tip a control shows (empty when its caption fits).
  std::string toolTipOf(const Control& control) const;

  // Closes the window and ends the event loop (the binding's program end).
  void close();

 private:
  friend class Win32Control;
  friend class Win32OptionButton;
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Where a control placed at `at` in container (nullptr: the window) sits in the client area.
  static Twips placeIn(const Frame* container, const Twips& at);
  // Makes a control of container at place (in the client area), starting a radio-button group
  // at every control of the window and at the first control of each frame.
  HWND createControl(const Frame* container, const Twips& place, const wchar_t* className,
                     DWORD style, DWORD exStyle, const std::string& text);
  // Keeps a control made by createControl, with its place and the width its caption cannot use.
  template <class T, class... Args>
  T& adopt(const Twips& place, int captionMargin, Args&&... args);
  // Clears the other option buttons of the container of selected.
  void clearOthers(const Control* container, const Control* selected);
  // The outer size of the window whose client area is the window's twips at dpi.
  SIZE windowSize(int dpi) const;
  // Takes up a new DPI: the font, the window at its place (its size from the twips), and every
  // control's place, size and caption fit.
  void changeDpi(int dpi, POINT topLeft);
  // Gives a control the tool tip of its whole caption when the caption does not fit.
  void fitCaption(const Win32Control& control);

  HWND window_ = nullptr;
  HWND toolTips_ = nullptr;
  HFONT font_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the keyboard when the window lost it
  int dpi_ = 96;
  int clientWidth_ = 0;  // twips
  int clientHeight_ = 0;
  const Frame* lastContainer_ = nullptr;  // the container of the control made last
  bool comReady_ = false;
  std::vector<std::unique_ptr<Win32Control>> controls_;
};

}  // namespace ui::win32
