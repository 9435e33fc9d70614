// The Win32 binding under the real Form1, driven as a user drives it: real USER32 controls,
// clicks through BM_CLICK, keyboard order through the dialog manager, message boxes answered on
// the screen.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FormFixture.h"
#include "ui/Binding.h"
#include "ui/Host.h"
#include "ui/win32/Win32Toolkit.h"

namespace {

using testing_support::RecordingHost;
using ui::win32::Win32Toolkit;
using Handles = std::vector<HWND>;
namespace fs = std::filesystem;

std::wstring text(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

// Form1 on the binding, its click procedures told apart by what they leave behind (ClickTrace).
class WindowTest : public ::testing::Test {
 protected:
  static HWND hwnd(const ui::Control* control) { return Win32Toolkit::handleOf(*control); }

  testing_support::FreshForm fresh;
  RecordingHost& host = fresh.host;
  Win32Toolkit& toolkit = dynamic_cast<Win32Toolkit&>(*fresh.toolkit);
  Form1& form = fresh.form;
  // Made on first use: it points the folder boxes at folders of its own.
  testing_support::ClickTrace& trace() {
    if (!trace_) trace_.emplace(form, host);
    return *trace_;
  }
  ui::CommandButton *command1 = form.Command1, *command2 = form.Command2, *command3 = form.Command3;
  ui::OptionButton *option1 = form.Option1, *option2 = form.Option2;
  ui::OptionButton* models[3] = {form.optFM[0], form.optFM[1], form.optFM[2]};
  ui::TextBox *text1 = form.Text1, *text2 = form.Text2;
  ui::Label* labels[3] = {form.lblCurrent[0], form.lblCurrent[1], form.lblCurrent[2]};
  ui::CheckBox* check = form.chkSr;

 private:
  std::optional<testing_support::ClickTrace> trace_;
};

// The layout in twips at the screen's resolution, and again at another after WM_DPICHANGED, with
// the window where Windows suggests. A frame's control sits at the frame's corner plus its offset.
TEST_F(WindowTest, SizesComeFromTwipsAtTheScreensResolutionAndFollowADpiChange) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX), other = dpi == 192 ? 144 : 192;
  ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), dpi);
  ReleaseDC(nullptr, screen);
  for (const int at : {dpi, other}) {
    SCOPED_TRACE(at);
    RECT window{50, 60, 50 + 999, 60 + 999}, client{}, box{};
    if (at == other)
      SendMessageW(toolkit.window(), WM_DPICHANGED, MAKEWPARAM(at, at),
                   reinterpret_cast<LPARAM>(&window));
    GetWindowRect(toolkit.window(), &window);
    GetClientRect(toolkit.window(), &client);
    GetWindowRect(hwnd(text2), &box);
    MapWindowPoints(nullptr, toolkit.window(), reinterpret_cast<POINT*>(&box), 2);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd(check), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    const auto px = [at](int twips) { return static_cast<LONG>(MulDiv(twips, at, 1440)); };
    EXPECT_EQ((std::vector<LONG>{client.right, client.bottom, box.left, box.top,
                                 box.right - box.left, font.lfHeight}),
              (std::vector<LONG>{px(4335), px(3735), px(120 + 480), px(120 + 600), px(3495),
                                 -MulDiv(8, at, 72)}));
    if (at == other) {
      EXPECT_EQ((std::vector<LONG>{window.left, window.top}), (std::vector<LONG>{50, 60}));
    }
  }
}

TEST_F(WindowTest, ACaptionThatCannotFitShowsWholeInItsToolTipWhileItCannot) {
  EXPECT_EQ(toolkit.toolTipOf(*models[0]) + toolkit.toolTipOf(*command1), "");
  labels[0]->setCaption("Currently in force");
  EXPECT_EQ(toolkit.toolTipOf(*labels[0]), "Currently in force");
  models[0]->setCaption("Mil Mi-28N Night Havoc Flight Model");
  EXPECT_EQ(toolkit.toolTipOf(*models[0]), "Mil Mi-28N Night Havoc Flight Model");
  models[0]->setCaption("Tiger Flight Model");
  EXPECT_EQ(toolkit.toolTipOf(*models[0]), "") << "the tool tip goes when the caption fits";
}

TEST_F(WindowTest, CaptionsTextsAndStatesReadBack) {
  EXPECT_FALSE(IsWindowVisible(toolkit.window()));
  EXPECT_EQ(text(toolkit.window()), L"Kestrun");
  EXPECT_EQ(text(hwnd(command1)), L"Copy && Launch") << "Win32 shows && as one ampersand";
  // A folder option keeps its caption but paints none; a flight model's paints its own.
  option1->setCaption("Other");
  models[0]->setCaption("AH-64 Apache Flight Model");
  EXPECT_EQ(option1->caption(), "Other");
  EXPECT_EQ(GetWindowTextLengthW(hwnd(option1)) + GetWindowTextLengthW(hwnd(option2)), 0);
  EXPECT_EQ(text(hwnd(models[0])), L"AH-64 Apache Flight Model");

  const std::string path = "D:\\Spiele\\Gunship! \xC3\xA9t\xC3\xA9 \xE6\x97\xA5";  // été 日
  text2->setText(path);
  EXPECT_EQ(text2->text(), path) << "window text is Unicode, not the ANSI code page";
  text2->setText(std::string(40000, 'x'));
  EXPECT_EQ(text2->text().size(), 40000u) << "text boxes have no length limit";

  // The form hides the markers until a scan shows one.
  labels[0]->setVisible(true);
  models[2]->setEnabled(false);
  check->setValue(1);
  EXPECT_EQ((std::vector<bool>{labels[0]->visible(), labels[1]->visible(), models[1]->enabled(),
                               models[2]->enabled()}),
            (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(check->value(), 1);
}

// What a screen reader reads of a control through MSAA: "role|name|description".
std::wstring readOut(HWND control) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&object))))
    return L"no object";
  VARIANT self{}, role{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  object->get_accRole(self, &role);
  std::wstring seen = std::to_wstring(role.vt == VT_I4 ? role.lVal : 0);
  for (auto get : {&IAccessible::get_accName, &IAccessible::get_accDescription}) {
    BSTR value = nullptr;
    seen += L"|";
    if (SUCCEEDED((object->*get)(self, &value)) && value != nullptr) seen += value;
    SysFreeString(value);
  }
  object->Release();
  return seen;
}

// The role each window class gives, the folder options named after their boxes (the text set by
// code or typed), a flight model described "Current" while its marker shows.
TEST_F(WindowTest, ScreenReadersReadRolesNamesAndDescriptions) {
  models[1]->setCaption("Tiger Flight Model");
  labels[1]->setVisible(true);
  const struct {
    const ui::Control* control;
    LONG role;
    const wchar_t *before, *after;  // name|description
  } rows[] = {
      {command1, ROLE_SYSTEM_PUSHBUTTON, L"Copy & Launch|", L"Copy & Launch|"},
      {option1, ROLE_SYSTEM_RADIOBUTTON, L"Use the folder c:\\Gunship!|",
       L"Use the folder d:\\Spiele \u00e9t\u00e9|"},
      {option2, ROLE_SYSTEM_RADIOBUTTON, L"Use the folder c:\\Gunship!|",
       L"Use the folder c:\\Gunship! (2)|"},
      {text1, ROLE_SYSTEM_TEXT, L"|", L"|"},
      {models[0], ROLE_SYSTEM_RADIOBUTTON, L"?|", L"?|"},
      {models[1], ROLE_SYSTEM_RADIOBUTTON, L"Tiger Flight Model|Current", L"Tiger Flight Model|"},
      {models[2], ROLE_SYSTEM_RADIOBUTTON, L"?|", L"?|Current"},
  };
  // Windows' standard objects give each window class its role; Wine's give buttons and static
  // texts the role of a plain client area.
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  for (const bool after : {false, true}) {
    for (const auto& row : rows) {
      const LONG role = wine && row.role != ROLE_SYSTEM_TEXT ? ROLE_SYSTEM_CLIENT : row.role;
      EXPECT_EQ(readOut(hwnd(row.control)),
                std::to_wstring(role) + L"|" + (after ? row.after : row.before));
    }
    if (after) break;
    text1->setText("d:\\Spiele \xC3\xA9t\xC3\xA9");
    const int end = GetWindowTextLengthW(hwnd(text2));
    SendMessageW(hwnd(text2), EM_SETSEL, end, end);
    SendMessageW(hwnd(text2), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L" (2)"));
    labels[1]->setVisible(false);
    labels[2]->setVisible(true);
  }
  EXPECT_EQ(option1->caption(), "Option1") << "the caption stays the window's own";
}

// Through the dialog manager, as the event loop passes every key: Enter presses the push button
// that has the focus; with the focus elsewhere Enter and Esc press nothing.
TEST_F(WindowTest, EnterPressesTheFocusedPushButtonOnly) {
  const HWND window = toolkit.window();
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  const auto press = [window](const ui::Control* focus, WPARAM key) {
    SetFocus(hwnd(focus));
    EXPECT_EQ(GetFocus(), hwnd(focus));
    MSG message{hwnd(focus), WM_KEYDOWN, key, 0, 0, {}};
    IsDialogMessageW(window, &message);
  };
  trace();
  for (const ui::Control* other : std::vector<const ui::Control*>{option1, text1, models[0], check})
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) press(other, key);
  press(command1, VK_ESCAPE);
  EXPECT_EQ(trace().ran(), "");
  EXPECT_FALSE(option1->value() || models[0]->value() || check->value());
  // Each press is told apart; the copy's scan disables what it cannot use, so it comes last.
  for (const auto& [button, ran] : {std::pair{command1, "Launch"},
                                    {command1, "Launch"},
                                    {command3, "Launch"},
                                    {command2, "Copy"}}) {
    press(button, VK_RETURN);
    EXPECT_EQ(trace().ran(), ran);
  }
  EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(WindowTest, ClicksRunProceduresAndOptionsExcludeOnlyWithinTheirFrame) {
  trace();
  command1->click();
  EXPECT_EQ(trace().ran(), "Launch");
  command1->setEnabled(false);
  command1->click();
  EXPECT_EQ(trace().ran(), "") << "a disabled button cannot be clicked";

  // Each step: the option clicked, which of option1, option2, models[1], models[2] are set, and
  // what ran. The flight models come first: a folder's scan disables them.
  const struct {
    ui::OptionButton* clicked;
    std::vector<bool> set;
    const char* ran;
  } steps[] = {{models[1], {false, false, true, false}, ""},
               {models[2], {false, false, false, true}, ""},
               {option1, {true, false, false, true}, "Option1"},
               {option2, {false, true, false, true}, "Option2"},   // across the box between them
               {option2, {false, true, false, true}, "Option2"}};  // a selected option runs again
  for (const auto& step : steps) {
    step.clicked->click();
    EXPECT_EQ((std::vector<bool>{option1->value(), option2->value(), models[1]->value(),
                                 models[2]->value()}),
              step.set);
    EXPECT_EQ(trace().ran(), step.ran);
  }

  check->click();
  EXPECT_EQ(check->value(), 1);
  check->click();
  EXPECT_EQ(check->value(), 0);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(WindowTest, SettingAValueFromCodeRunsNoProcedure) {
  trace();
  option1->setValue(true);
  option2->setValue(true);
  EXPECT_EQ((std::vector<bool>{option1->value(), option2->value()}),
            (std::vector<bool>{false, true}));
  option2->setValue(false);
  EXPECT_FALSE(option2->value());
  EXPECT_EQ(trace().ran(), "");
  models[0]->setValue(true);
  models[0]->setEnabled(false);
  EXPECT_TRUE(models[0]->value()) << "a disabled option keeps its selection";
}

TEST_F(WindowTest, TabOrderIsCreationOrderAndArrowGroupsStayInTheirFrame) {
  const HWND window = toolkit.window();
  Handles visited{GetNextDlgTabItem(window, nullptr, FALSE)};
  while (visited.size() < 20 && visited.back() != nullptr &&
         (visited.size() == 1 || visited.back() != visited.front()))
    visited.push_back(GetNextDlgTabItem(window, visited.back(), FALSE));
  EXPECT_EQ(visited, (Handles{hwnd(command1), hwnd(option1), hwnd(text1), hwnd(option2),
                              hwnd(text2), hwnd(models[0]), hwnd(models[1]), hwnd(models[2]),
                              hwnd(command2), hwnd(command3), hwnd(check), hwnd(command1)}))
      << "Tab visits every control in creation order and wraps round";

  // The arrow keys move within a group, and a group never leaves its frame.
  auto group = [window](const ui::Control* first) {
    Handles members{hwnd(first)};
    for (HWND next = GetNextDlgGroupItem(window, hwnd(first), FALSE);
         next != nullptr && next != hwnd(first) && members.size() < 20;
         next = GetNextDlgGroupItem(window, next, FALSE))
      members.push_back(next);
    return members;
  };
  EXPECT_EQ(group(option1), (Handles{hwnd(option1), hwnd(text1), hwnd(option2), hwnd(text2)}));
  // The markers, hidden until a scan shows them, join their frame's group while they show.
  EXPECT_EQ(group(models[0]), (Handles{hwnd(models[0]), hwnd(models[1]), hwnd(models[2])}));
  for (ui::Label* label : labels) label->setVisible(true);
  EXPECT_EQ(group(models[0]), (Handles{hwnd(models[0]), hwnd(models[1]), hwnd(models[2]),
                                       hwnd(labels[0]), hwnd(labels[1]), hwnd(labels[2])}));
  EXPECT_EQ(group(command1), Handles{hwnd(command1)});
  // No push button is a default button, so Enter presses none.
  for (const ui::Control* button : {command1, command2, command3})
    EXPECT_EQ(GetWindowLongW(hwnd(button), GWL_STYLE) & 0x0F, BS_PUSHBUTTON);
}

// A launch that cannot enter the game's folder raises an error.
TEST_F(WindowTest, AnErrorInAProcedureIsReportedOnceAndEndsTheProgram) {
  trace();
  command3->click();
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].style, ui::kCritical);
  EXPECT_EQ(host.messages()[0].title, "Kestrun");
  EXPECT_NE(host.messages()[0].prompt.find("Cannot open the folder \"" + form.GamePath + "\""),
            std::string::npos);
  EXPECT_EQ(host.ends(), 1);
  command2->click();
  option1->click();
  EXPECT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(trace().ran(), "Launch") << "no procedure runs once the program has ended";
}

// ---- The binding's own host: message boxes on the screen and the program's end ----------------

// The system's icon that a message box shows, by name; "other" for none of the four.
std::wstring iconName(HICON icon) {
  const std::pair<int, const wchar_t*> icons[] = {{32513, L"stop"},  // IDI_HAND
                                                  {32514, L"question"},
                                                  {32515, L"exclamation"},
                                                  {32516, L"information"}};  // IDI_ASTERISK
  for (const auto& [id, name] : icons)
    if (LoadIconW(nullptr, MAKEINTRESOURCEW(id)) == icon) return name;
  return L"other";
}

// Notes a message box's part: its prompt text, or its icon's name (an EnumChildWindows callback,
// so of the system's calling convention, which a lambda cannot be on x86).
BOOL CALLBACK notePart(HWND child, LPARAM data) {
  auto* parts = reinterpret_cast<std::wstring*>(data);
  wchar_t kind[32] = {};
  GetClassNameW(child, kind, 32);
  if (_wcsicmp(kind, L"Static") != 0) return TRUE;
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
    parts[1] += text(child);
  else if (const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)))
    parts[2] = iconName(icon);
  return TRUE;
}

// Runs shows() while a thread of its own waits for the message box captioned "Kestrun" that it
// shows, and presses OK; returns the box as seen: "caption|prompt|icon" (iconName, or "none").
template <class Shows>
std::wstring answered(Shows shows) {
  std::wstring seen[3] = {L"", L"", L"none"};
  std::thread answerer([&seen] {
    HWND box = nullptr;
    for (int tries = 0; tries < 1000 && box == nullptr; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      box = FindWindowW(L"#32770", L"Kestrun");
    }
    if (box == nullptr) return;
    seen[0] = text(box);
    EnumChildWindows(box, &notePart, reinterpret_cast<LPARAM>(seen));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  shows();
  answerer.join();
  return seen[0] + L"|" + seen[1] + L"|" + seen[2];
}

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
  Form1 form{*toolkit};
  HWND window = static_cast<Win32Toolkit&>(*toolkit).window();
};

TEST_F(BindingHostTest, MessageBoxesShowCaptionPromptAndIconAndAnErrorAtLoadEndsTheProgram) {
  // Each style's icon, as the Qt binding maps them; the prompt in Unicode.
  const struct {
    int style;
    const wchar_t* icon;
  } styles[] = {{ui::kOkOnly, L"none"},
                {ui::kCritical, L"stop"},
                {ui::kQuestion, L"question"},
                {ui::kExclamation, L"exclamation"},
                {ui::kInformation, L"information"}};
  for (const auto& row : styles) {
    int button = 0;
    EXPECT_EQ(answered([&] {
                button = ui::msgBox("Unable to start \xE2\x80\x94 \xC3\xA9t\xC3\xA9", row.style);
              }),
              std::wstring(L"Kestrun|Unable to start \u2014 \u00e9t\u00e9|") + row.icon);
    EXPECT_EQ(button, ui::kOk);
  }

  int code = -1;
  const std::wstring box =
      answered([&] { code = toolkit->run([] { throw std::runtime_error("no such drive"); }); });
  EXPECT_EQ(code, 0);
  EXPECT_NE(box.find(L"no such drive"), std::wstring::npos);
  EXPECT_TRUE(box.ends_with(L"|stop")) << "an error is reported with the stop icon";
  EXPECT_FALSE(IsWindow(window)) << "the window never shows";
}

TEST(BindingHost, AHostInstalledBeforeTheToolkitStays) {
  RecordingHost host;
  int argc = 1;
  char* argv[2] = {const_cast<char*>("kestrun-tests"), nullptr};
  const std::unique_ptr<ui::Toolkit> toolkit = ui::makeToolkit(argc, argv);
  ui::msgBox("Unable to start gunship.exe", ui::kCritical);
  EXPECT_EQ(host.messages().size(), 1u) << "the recorder, not a box on the screen, saw it";
}

// Launch starts the game (the start tests' probe program, as gunship.exe) and, without Stay
// Resident, ends the program.
TEST_F(BindingHostTest, EndingTheProgramFromAClickClosesTheWindowAndStopsTheLoop) {
  testing_support::GameFolder game;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  fs::copy_file(fs::path(self).parent_path() / "kestrun_probe.exe",
                game.hostFolder() / "gunship.exe");
  const fs::path folder = fs::current_path();  // the launch enters the game's folder
  testing_support::chooseFolder(form, game.path());
  ASSERT_EQ(form.GameExe, "gunship.exe");
  // The load shows nothing; the click, queued for the running loop, ends the program.
  EXPECT_EQ(
      toolkit->run([&] { PostMessageW(Win32Toolkit::handleOf(*form.Command3), BM_CLICK, 0, 0); }),
      0);
  fs::current_path(folder);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(ui::ended());
}

}  // namespace
