// Helper of the package check, run on a real X server (xcb), never part of the program.
//
//   kestrun_window_check STATES.txt SHOT.png
//     Creates Kestrun's window as the program does, on the prefix in WINEPREFIX; once the X
//     server has exposed it, saves the window's pixels as the X server shows them and writes
//     the controls' states, one control a line, then closes.
//   kestrun_window_check --grab WINDOW-ID SHOT.png
//     Saves the pixels of any X window (the installed program's) and prints its size and the
//     number of distinct colours in it.
//
// Exit status 0 when the grab was saved, 1 otherwise.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ui/Binding.h"
#include "ui/Controls.h"
#include "ui/Host.h"
#include "ui/qt/QtToolkit.h"
#include "window/Form1.h"

namespace {

int distinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

// Saves what the X server shows of window id; prints "grab WxH colours=N".
bool grab(WId id, const char* shotPath) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  const QImage image = screen->grabWindow(id).toImage();
  if (image.isNull() || !image.save(QString::fromLocal8Bit(shotPath))) return false;
  std::printf("grab %dx%d colours=%d\n", image.width(), image.height(), distinctColours(image));
  return true;
}

std::string flag(bool on) {
  return on ? "1" : "0";
}

// One line per control: its name, then the states Form1 works with and whether its widget is
// actually on the screen.
void writeStates(const Form1& form, std::ofstream& out) {
  const auto line = [&out](const std::string& name, const ui::Control& control,
                           const std::string& extra) {
    const QWidget* widget = ui::qt::QtToolkit::widgetOf(control);
    out << name << " enabled=" << flag(control.enabled()) << " visible=" << flag(control.visible())
        << " onscreen=" << flag(widget && widget->isVisible()) << extra
        << " caption=" << control.caption() << '\n';
  };
  const auto value = [](const ui::OptionButton& button) {
    return " value=" + flag(button.value());
  };
  line("Command1", *form.Command1, "");
  line("Frame1", *form.Frame1, "");
  line("Option1", *form.Option1, value(*form.Option1));
  line("Text1", *form.Text1, "");
  line("Option2", *form.Option2, value(*form.Option2));
  line("Text2", *form.Text2, "");
  line("Frame2", *form.Frame2, "");
  for (int i = 0; i < 3; ++i)
    line("optFM(" + std::to_string(i) + ")", *form.optFM[i],
         value(*form.optFM[i]) + " tag=" + form.optFM[i]->tag());
  for (int i = 0; i < 3; ++i)
    line("lblCurrent(" + std::to_string(i) + ")", *form.lblCurrent[i], "");
  line("Command2", *form.Command2, "");
  line("Command3", *form.Command3, "");
  line("chkSr", *form.chkSr, " value=" + std::to_string(form.chkSr->value()));
}

int grabOther(int argc, char** argv) {
  QApplication application(argc, argv);
  bool ok = false;
  const WId id = QString::fromLocal8Bit(argv[2]).toULongLong(&ok, 0);
  return ok && grab(id, argv[3]) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--grab") return grabOther(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s STATES.txt SHOT.png | --grab WINDOW-ID SHOT.png\n", argv[0]);
    return 2;
  }
  const std::string statesPath = argv[1];
  const char* shotPath = argv[2];

  auto toolkit = ui::makeToolkit(argc, argv);
  Form1 form(*toolkit);
  QWidget* window = ui::qt::QtToolkit::widgetOf(*form.Frame1)->window();

  // Once the window is exposed and its first paint has reached the server, record and close.
  int status = 1;
  int waited = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const QWindow* handle = window->windowHandle();
    if (handle && handle->isExposed()) {
      poll.stop();
      QTimer::singleShot(200, [&] {
        std::ofstream states(statesPath);
        writeStates(form, states);
        status = states && grab(window->winId(), shotPath) ? 0 : 1;
        QApplication::exit(0);
      });
    } else if (++waited > 1000) {
      std::fprintf(stderr, "the window was not exposed within 10 s\n");
      QApplication::exit(0);
    }
  });
  poll.start(10);

  toolkit->run([&form] { form.Form_Load(); });
  return status;
}
