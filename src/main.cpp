// Kestrun starts by creating its window; the window's load event finds the game.
#include "ui/Binding.h"
#include "window/Form1.h"

int main(int argc, char** argv) {
  auto toolkit = ui::makeToolkit(argc, argv);
  Form1 form(*toolkit);
  return toolkit->run([&form] { form.Form_Load(); });
}
