// A program for the DPI layout test: it builds the real window through the Win32 binding, at
// whatever DPI the prefix is set to, and writes what it made to the file named by its argument:
//   dpi D / client W H / then per control of the window's layout table, in its order: the
//   control's name, left top width height font-height, then its tool tip on a line of its own.
// The flight models get names of the demo profile's length, and the third one a name that
// cannot fit.
#include <windows.h>

#include <fstream>
#include <string>

#include "WindowLayout.h"
#include "ui/Binding.h"
#include "ui/win32/Win32Toolkit.h"
#include "window/Form1.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  auto toolkit = ui::makeToolkit(argc, argv);
  auto& win32 = static_cast<ui::win32::Win32Toolkit&>(*toolkit);
  Form1 form(*toolkit);
  form.optFM[0]->setCaption("Apache Flight Model");
  form.optFM[1]->setCaption("Tiger Flight Model");
  form.optFM[2]->setCaption("Mil Mi-28N Night Havoc Flight Model");

  std::ofstream out(argv[1], std::ios::binary);
  RECT client{};
  GetClientRect(win32.window(), &client);
  out << "dpi " << win32.dpi() << "\nclient " << client.right << ' ' << client.bottom << '\n';
  for (const auto& row : testing_support::kWindowLayout) {
    const ui::Control* control = testing_support::controlNamed(form, row.name);
    if (control == nullptr) return 1;
    HWND hwnd = ui::win32::Win32Toolkit::handleOf(*control);
    RECT box{};
    GetWindowRect(hwnd, &box);
    MapWindowPoints(nullptr, win32.window(), reinterpret_cast<POINT*>(&box), 2);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    out << row.name << ' ' << box.left << ' ' << box.top << ' ' << box.right - box.left << ' '
        << box.bottom - box.top << ' ' << font.lfHeight << '\n'
        << win32.toolTipOf(*control) << '\n';
  }
  return out.good() ? 0 : 1;
}
