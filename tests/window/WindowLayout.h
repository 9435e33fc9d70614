// What the player sees of the window when it opens: its sixteen controls in tab order, where
// each sits and what it says. One table of expectations for every binding's tests, checked
// against the real Form1. Positions are twips relative to the container.
#pragma once

#include <string_view>
#include <vector>

#include "ui/Controls.h"
#include "window/Form1.h"

namespace testing_support {

struct LayoutRow {
  const char* name;       // Form1's member; a slot's index follows it ("optFM0")
  const char* container;  // nullptr: the window
  const char* caption;    // as the program sets it
  const char* shown;      // what the user reads; nullptr: the caption
  bool visible;           // before any scan
  ui::Twips at;
};

extern const std::vector<LayoutRow> kWindowLayout;

inline constexpr int kClientWidth = 4335;
inline constexpr int kClientHeight = 3735;

// The control of form that a row names, or nullptr for a name that is none of its controls.
ui::Control* controlNamed(const Form1& form, std::string_view name);

}  // namespace testing_support
