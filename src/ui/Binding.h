// The host's window binding: Qt 6 Widgets on Linux, Win32 on Windows.
#pragma once

#include <memory>

#include "ui/Controls.h"

namespace ui {

// Makes the host's toolkit, starting the toolkit itself where it needs it (one per process).
// It also installs the host's message boxes and program end (ui::setHostUnlessSet): a host
// installed already (a test's recorder, or an earlier toolkit's) stays in force.
std::unique_ptr<Toolkit> makeToolkit(int& argc, char** argv);

}  // namespace ui
