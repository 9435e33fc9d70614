// The window's sixteen controls as the user sees them, in tab order: one table for every
// binding's tests. Positions are twips relative to the container.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace testing_support {

enum class Kind { Button, Frame, Option, Text, Label, Check };

struct LayoutRow {
  const char* name;
  Kind kind;
  const char* container;  // nullptr: the window
  const char* caption;    // as the program sets it
  const char* shown;      // what the user reads; nullptr: the caption
  ui::Twips at;
};

extern const std::vector<LayoutRow> kWindowLayout;

inline constexpr int kClientWidth = 4335;
inline constexpr int kClientHeight = 3735;

// The window made through toolkit from the table, every control by its name. A button's or
// option's click runs procedureFor(its name).
using Controls = std::map<std::string, ui::Control*>;
Controls buildWindow(ui::Toolkit& toolkit,
                     const std::function<ui::Procedure(const std::string&)>& procedureFor);

}  // namespace testing_support
