// What a screen reader reads for an option button whose caption cannot say it, on Windows.
//
// Screen readers ask a control for its accessible object (MSAA's IAccessible) with WM_GETOBJECT.
// For a button the system's standard object names it after its window text and gives its role
// and states. An option button as narrow as its mark has no text to show, and no window text
// says whether a flight model is the one in force; for these the binding answers WM_GETOBJECT
// with the standard object, whose name and description come from the neighbouring controls at
// the moment the reader asks. Everything else (role, states, location, the default action) is the
// standard object's.
#pragma once

#include <windows.h>

#include <string>

namespace ui::win32 {

// Where an option button's accessible name and description come from. Only window handles are
// kept: a reader may hold the object after the window has gone, and then reads empty texts.
struct Annotation {
  // The name: namePrefix followed by the window text of nameFrom (a text box). Without nameFrom
  // the standard object's name (the window text) stands.
  std::wstring namePrefix;
  HWND nameFrom = nullptr;
  // The description: the caption of describedBy (a label) while that label is visible, and no
  // description while it is hidden. Without describedBy the standard object's stands.
  HWND describedBy = nullptr;

  bool any() const { return nameFrom != nullptr || describedBy != nullptr; }
};

// Answers WM_GETOBJECT sent to hwnd, an annotated control. The client area's object
// (OBJID_CLIENT) is the annotated standard object; any other object id is left to
// DefSubclassProc, as is a request the system cannot answer. Returns the message's result.
LRESULT answerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const Annotation& annotation);

}  // namespace ui::win32
