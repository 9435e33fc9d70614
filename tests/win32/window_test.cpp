// The Win32 binding driven as a user drives it: real USER32 controls, clicks through BM_CLICK,
// keyboard order through the dialog manager, message boxes answered on the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/Error.h"
#include "ui/Binding.h"
#include "ui/Seam.h"
#include "ui/win32/Win32Toolkit.h"

namespace {

using testing_support::RecordingHost;
using ui::win32::Win32Toolkit;

std::wstring text(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

RECT clientRectOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The window's layout in miniature: two frames of option buttons, a text box beside each folder
// option, labels, three push buttons and a check box, made in tab order.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    toolkit.createWindow("Kestrun", 4335, 3735);
    command1 = &toolkit.addCommandButton(nullptr, {120, 3240, 1455, 375}, "Copy && Launch",
                                         [this] { ++command1Clicks; });
    frame1 = &toolkit.addFrame({120, 120, 4095, 975}, "Installation Folder");
    option1 = &toolkit.addOptionButton(frame1, {120, 240, 255, 255}, "Option1",
                                       [this] { option1Values.push_back(option1->value()); });
    text1 = &toolkit.addTextBox(frame1, {480, 240, 3495, 285}, "c:\\Gunship!");
    option2 = &toolkit.addOptionButton(frame1, {120, 600, 255, 255}, "Option1",
                                       [this] { option2Values.push_back(option2->value()); });
    text2 = &toolkit.addTextBox(frame1, {480, 600, 3495, 285}, "c:\\Gunship!");
    frame2 = &toolkit.addFrame({120, 1200, 4095, 1455}, "Select FM");
    for (int i = 0; i < 3; ++i)
      models[i] = &toolkit.addOptionButton(frame2, {240, 240 + 360 * i, 1815, 255}, "?", {});
    for (int i = 0; i < 3; ++i)
      labels[i] = &toolkit.addLabel(frame2, {2280, 240 + 360 * i, 975, 255}, "Current");
    command2 = &toolkit.addCommandButton(nullptr, {2760, 2760, 1455, 375}, "Copy",
                                         [] { throw platform::Error("Drive Q: is gone."); });
    command3 = &toolkit.addCommandButton(nullptr, {2760, 3240, 1455, 375}, "Launch", {});
    check = &toolkit.addCheckBox(nullptr, {240, 2760, 1695, 255}, "Stay Resident?");
  }

  static HWND hwnd(const ui::Control* control) { return Win32Toolkit::handleOf(*control); }

  RecordingHost host;
  Win32Toolkit toolkit;
  ui::CommandButton* command1 = nullptr;
  ui::Frame* frame1 = nullptr;
  ui::OptionButton* option1 = nullptr;
  ui::TextBox* text1 = nullptr;
  ui::OptionButton* option2 = nullptr;
  ui::TextBox* text2 = nullptr;
  ui::Frame* frame2 = nullptr;
  ui::OptionButton* models[3] = {};
  ui::Label* labels[3] = {};
  ui::CommandButton* command2 = nullptr;
  ui::CommandButton* command3 = nullptr;
  ui::CheckBox* check = nullptr;

  int command1Clicks = 0;
  std::vector<bool> option1Values;
  std::vector<bool> option2Values;
};

TEST_F(WindowTest, WindowAndControlsAreSizedFromTwipsAtTheScreensResolution) {
  HWND window = toolkit.window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(text(window), L"Kestrun");
  HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, MulDiv(4335, dpiX, 1440));
  EXPECT_EQ(client.bottom, MulDiv(3735, dpiY, 1440));
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0) << "the layout is fixed";

  // A frame's control sits at the frame's corner plus its own offset.
  const RECT box = clientRectOf(hwnd(text2));
  EXPECT_EQ(box.left, MulDiv(120 + 480, dpiX, 1440));
  EXPECT_EQ(box.top, MulDiv(120 + 600, dpiY, 1440));
  EXPECT_EQ(box.right - box.left, MulDiv(3495, dpiX, 1440));
  const RECT window_level = clientRectOf(hwnd(check));
  EXPECT_EQ(window_level.left, MulDiv(240, dpiX, 1440));
  EXPECT_EQ(window_level.top, MulDiv(2760, dpiY, 1440));
}

TEST_F(WindowTest, CaptionsTextsAndStatesReadBackBeforeTheWindowIsShown) {
  EXPECT_FALSE(IsWindowVisible(toolkit.window()));
  EXPECT_EQ(command1->caption(), "Copy && Launch");
  EXPECT_EQ(text(hwnd(command1)), L"Copy && Launch") << "Win32 shows && as one ampersand";
  EXPECT_EQ(text1->text(), "c:\\Gunship!");
  EXPECT_EQ(frame2->caption(), "Select FM");

  EXPECT_TRUE(labels[1]->visible());
  labels[1]->setVisible(false);
  EXPECT_FALSE(labels[1]->visible());
  EXPECT_TRUE(labels[0]->visible());
  labels[1]->setVisible(true);
  EXPECT_TRUE(labels[1]->visible());

  models[2]->setEnabled(false);
  EXPECT_FALSE(models[2]->enabled());
  models[2]->setTag("HavocFlightModel");
  models[2]->setCaption("Mi-28 Havoc Flight Model");
  EXPECT_EQ(models[2]->tag(), "HavocFlightModel");
  EXPECT_EQ(models[2]->caption(), "Mi-28 Havoc Flight Model");

  const std::string path = "D:\\Spiele\\Gunship! \xC3\xA9t\xC3\xA9 \xE6\x97\xA5";  // été 日
  text2->setText(path);
  EXPECT_EQ(text2->text(), path) << "window text is Unicode, not the ANSI code page";
  const std::string longPath(40000, 'x');
  text2->setText(longPath);
  EXPECT_EQ(text2->text().size(), longPath.size()) << "text boxes have no length limit";

  EXPECT_EQ(check->value(), 0);
  check->setValue(1);
  EXPECT_EQ(check->value(), 1);
}

TEST_F(WindowTest, FolderOptionsPaintNoCaptionText) {
  EXPECT_EQ(option1->caption(), "Option1");
  EXPECT_EQ(option2->caption(), "Option1");
  EXPECT_EQ(GetWindowTextLengthW(hwnd(option1)), 0);
  EXPECT_EQ(GetWindowTextLengthW(hwnd(option2)), 0);
  option1->setCaption("Other");
  EXPECT_EQ(option1->caption(), "Other");
  EXPECT_EQ(GetWindowTextLengthW(hwnd(option1)), 0);
  models[0]->setCaption("AH-64 Apache Flight Model");
  EXPECT_EQ(text(hwnd(models[0])), L"AH-64 Apache Flight Model");
}

TEST_F(WindowTest, ClicksRunProceduresAndOptionsExcludeOnlyWithinTheirFrame) {
  command1->click();
  EXPECT_EQ(command1Clicks, 1);
  command1->setEnabled(false);
  command1->click();
  EXPECT_EQ(command1Clicks, 1) << "a disabled button cannot be clicked";

  option1->click();
  EXPECT_TRUE(option1->value());
  EXPECT_EQ(option1Values, std::vector<bool>{true}) << "the procedure sees the new selection";

  models[1]->click();
  EXPECT_TRUE(models[1]->value());
  EXPECT_TRUE(option1->value()) << "a flight model's option leaked into the folder group";
  models[2]->click();
  EXPECT_FALSE(models[1]->value());
  EXPECT_TRUE(option1->value());

  option2->click();
  EXPECT_TRUE(option2->value());
  EXPECT_FALSE(option1->value()) << "the text box between them split the folder group";
  EXPECT_TRUE(models[2]->value());
  EXPECT_EQ(option1Values, std::vector<bool>{true}) << "clearing an option runs nothing";

  option2->click();
  EXPECT_EQ(option2Values, (std::vector<bool>{true, true})) << "a selected option runs again";

  check->click();
  EXPECT_EQ(check->value(), 1);
  check->click();
  EXPECT_EQ(check->value(), 0);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(WindowTest, SettingAValueFromCodeRunsNoProcedure) {
  option1->setValue(true);
  EXPECT_TRUE(option1->value());
  option2->setValue(true);
  EXPECT_TRUE(option2->value());
  EXPECT_FALSE(option1->value());
  EXPECT_TRUE(option1Values.empty());
  EXPECT_TRUE(option2Values.empty());
  option2->setValue(false);
  EXPECT_FALSE(option2->value());
  EXPECT_FALSE(option1->value());

  models[0]->setValue(true);
  models[0]->setEnabled(false);
  EXPECT_TRUE(models[0]->value()) << "a disabled option keeps its selection";
}

TEST_F(WindowTest, TabOrderIsCreationOrderAndArrowGroupsStayInTheirFrame) {
  std::vector<HWND> expected = {hwnd(command1), hwnd(option1),   hwnd(text1),     hwnd(option2),
                                hwnd(text2),    hwnd(models[0]), hwnd(models[1]), hwnd(models[2]),
                                hwnd(command2), hwnd(command3),  hwnd(check)};
  std::vector<HWND> visited;
  HWND at = GetNextDlgTabItem(toolkit.window(), nullptr, FALSE);
  for (std::size_t i = 0; i < expected.size() && at != nullptr; ++i) {
    visited.push_back(at);
    at = GetNextDlgTabItem(toolkit.window(), at, FALSE);
  }
  EXPECT_EQ(visited, expected);
  EXPECT_EQ(at, hwnd(command1)) << "Tab wraps round to the first control";

  // The arrow keys move within a group, and a group never leaves its frame.
  auto cycle = [this](const ui::Control* first) {
    std::vector<HWND> members{hwnd(first)};
    for (HWND next = GetNextDlgGroupItem(toolkit.window(), hwnd(first), FALSE);
         next != nullptr && next != hwnd(first) && members.size() < 20;
         next = GetNextDlgGroupItem(toolkit.window(), next, FALSE))
      members.push_back(next);
    return members;
  };
  EXPECT_EQ(cycle(option1),
            (std::vector<HWND>{hwnd(option1), hwnd(text1), hwnd(option2), hwnd(text2)}));
  EXPECT_EQ(cycle(models[0]),
            (std::vector<HWND>{hwnd(models[0]), hwnd(models[1]), hwnd(models[2]), hwnd(labels[0]),
                               hwnd(labels[1]), hwnd(labels[2])}));
  EXPECT_EQ(cycle(command1), std::vector<HWND>{hwnd(command1)});
  EXPECT_EQ(cycle(check), std::vector<HWND>{hwnd(check)});

  // No push button is a default button, so Enter presses none.
  for (const ui::Control* button : {command1, command2, command3})
    EXPECT_EQ(GetWindowLongW(hwnd(button), GWL_STYLE) & 0x0F, BS_PUSHBUTTON);
}

TEST_F(WindowTest, AnErrorInAProcedureIsReportedAndEndsTheProgram) {
  command2->click();
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].style, ui::kCritical);
  EXPECT_NE(host.messages()[0].prompt.find("Drive Q: is gone."), std::string::npos);
  EXPECT_EQ(host.ends(), 1);
  command1->click();
  EXPECT_EQ(command1Clicks, 0) << "no procedure runs once the program has ended";
}

// ---- The binding's own host: message boxes on the screen and the program's end ----------------

struct ShownBox {
  std::wstring caption;
  std::wstring prompt;
  bool stopIcon = false;
};

// Waits for a message box captioned "Kestrun", records it and presses OK.
class BoxAnswerer {
 public:
  BoxAnswerer()
      : thread_([this] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          while (std::chrono::steady_clock::now() < deadline) {
            if (HWND box = FindWindowW(L"#32770", L"Kestrun")) {
              record(box);
              PostMessageW(box, WM_COMMAND, IDOK, 0);
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~BoxAnswerer() { thread_.join(); }
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
  ShownBox shown() {
    thread_.join();
    thread_ = std::thread([] {});
    return shown_;
  }

 private:
  void record(HWND box) {
    shown_.caption = text(box);
    EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
          auto* shown = reinterpret_cast<ShownBox*>(data);
          wchar_t className[32] = {};
          GetClassNameW(child, className, 32);
          if (std::wstring(className) != L"Static" && std::wstring(className) != L"STATIC")
            return TRUE;
          const LONG style = GetWindowLongW(child, GWL_STYLE);
          if ((style & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageW(child, STM_GETICON, 0, 0) != 0) shown->stopIcon = true;
          } else if (GetWindowTextLengthW(child) > 0) {
            shown->prompt = text(child);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown_));
  }

  ShownBox shown_;
  std::thread thread_;
};

class BindingHostTest : public ::testing::Test {
 protected:
  ~BindingHostTest() override {
    toolkit.reset();
    ui::setHost(previous);
    ui::resetEnded();
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  ui::Host previous = ui::setHost({});
  int argc = 1;
  char* argv[2] = {const_cast<char*>("kestrun-tests"), nullptr};
  std::unique_ptr<ui::Toolkit> toolkit = ui::makeToolkit(argc, argv);
};

TEST_F(BindingHostTest, MessageBoxesAreCaptionedKestrunWithTheStyleAsked) {
  toolkit->createWindow("Kestrun", 4335, 3735);
  {
    BoxAnswerer answerer;
    EXPECT_EQ(ui::msgBox("Error  0 Writing to c:\\Gunship!\\data\\custom.ini"), ui::kOk);
    const ShownBox box = answerer.shown();
    EXPECT_EQ(box.caption, L"Kestrun");
    EXPECT_EQ(box.prompt, L"Error  0 Writing to c:\\Gunship!\\data\\custom.ini");
    EXPECT_FALSE(box.stopIcon);
  }
  {
    BoxAnswerer answerer;
    EXPECT_EQ(
        ui::msgBox("Unable to start GUNSHIP.EXE \xE2\x80\x94 \xC3\xA9t\xC3\xA9", ui::kCritical),
        ui::kOk);
    const ShownBox box = answerer.shown();
    EXPECT_EQ(box.prompt, L"Unable to start GUNSHIP.EXE \u2014 \u00e9t\u00e9");
    EXPECT_TRUE(box.stopIcon);
  }
}

TEST_F(BindingHostTest, EndingTheProgramClosesTheWindowAndStopsTheLoop) {
  toolkit->createWindow("Kestrun", 4335, 3735);
  auto& button = toolkit->addCommandButton(nullptr, {120, 3240, 1455, 375}, "Launch",
                                           [] { ui::endProgram(); });
  HWND window = static_cast<Win32Toolkit&>(*toolkit).window();
  int loads = 0;
  // The load shows nothing; the click, queued for the running loop, ends the program.
  const int code = toolkit->run([&] {
    ++loads;
    PostMessageW(Win32Toolkit::handleOf(button), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(ui::ended());
}

TEST_F(BindingHostTest, AnErrorDuringLoadEndsTheProgramBeforeTheWindowShows) {
  toolkit->createWindow("Kestrun", 4335, 3735);
  HWND window = static_cast<Win32Toolkit&>(*toolkit).window();
  BoxAnswerer answerer;
  const int code = toolkit->run([] { throw std::runtime_error("no such drive"); });
  const ShownBox box = answerer.shown();
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(box.stopIcon);
  EXPECT_NE(box.prompt.find(L"no such drive"), std::wstring::npos);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
