// The Qt binding on the offscreen platform, under the real Form1: the window's layout, captions,
// option groups, keys, and how an error or an end of the program leaves the window and its event
// loop.
// The fixture comes before Qt, whose "slots" keyword would swallow the fixture's function.
#include "FormFixture.h"
// Qt after this line.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "WindowLayout.h"
#include "WinePrefix.h"
#include "ui/qt/QtToolkit.h"

namespace {

using testing_support::LayoutRow;
using ui::qt::QtToolkit;

const auto& kRows = testing_support::kWindowLayout;

// Form1 on the binding, its controls by name. Once traced, each key pressed and each note()
// adds what the click procedures did (ClickTrace) to ran.
struct Window {
  ui::Control& control(const std::string& name) {
    return *testing_support::controlNamed(form, name);
  }
  template <class T>
  T& as(const std::string& name) {
    return dynamic_cast<T&>(control(name));
  }
  QWidget* widget(const std::string& name) { return QtToolkit::widgetOf(control(name)); }
  QWidget* window() { return dynamic_cast<QtToolkit&>(*fresh.toolkit).window(); }
  Window& traced() {
    trace.emplace(form, fresh.host);
    return *this;
  }
  void note() {
    const std::string last = trace ? trace->ran() : "";
    if (!last.empty()) ran += (ran.empty() ? "" : " ") + last;
  }

  // The keyboard, in the window shown and active: keys pressed and let go, as the player types
  // them, to the widget with the focus.
  Window& shown() {
    window()->show();
    window()->activateWindow();
    QApplication::processEvents();
    return *this;
  }
  void focus(const std::string& name) { widget(name)->setFocus(Qt::TabFocusReason); }
  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool held = false) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent event(type, key, modifiers, QString(), held);
      QApplication::sendEvent(QApplication::focusWidget(), &event);
    }
    note();
  }
  std::string focused() {
    for (const LayoutRow& row : kRows)
      if (widget(row.name) == QApplication::focusWidget()) return row.name;
    return "nothing";
  }

  // In force before the form, so that a launch chooses this prefix, never the machine's own.
  testing_support::WinePrefix prefix;
  testing_support::FreshForm fresh;
  Form1& form = fresh.form;
  std::optional<testing_support::ClickTrace> trace;
  std::string ran;  // what the click procedures did, in order
};

QString shownText(QWidget* widget) {
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  // A button without text is named after its surroundings; it shows nothing itself.
  if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->text().isEmpty())
    return {};
  return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

TEST(QtBinding, ControlsSitWhereTheirTwipsSayInTabOrderWithTheirCaptions) {
  Window w;
  EXPECT_EQ(w.window()->windowTitle(), "Kestrun");
  EXPECT_EQ(w.window()->size(), QSize(289, 249));
  EXPECT_EQ(w.window()->minimumSize(), w.window()->maximumSize());  // not resizable
  std::set<const ui::Control*> named;  // the table names each of the form's controls once
  for (const LayoutRow& row : kRows) named.insert(testing_support::controlNamed(w.form, row.name));
  EXPECT_EQ(named.size(), 16u);
  ASSERT_FALSE(named.contains(nullptr));
  for (const LayoutRow& row : kRows) {
    SCOPED_TRACE(row.name);
    QWidget* widget = w.widget(row.name);
    ui::Control& control = w.control(row.name);
    EXPECT_EQ(widget->parentWidget(), row.container ? w.widget(row.container) : w.window());
    const QRect r = widget->geometry();
    EXPECT_EQ(r, QRect(row.at.left / 15, row.at.top / 15, row.at.width / 15, row.at.height / 15));
    EXPECT_EQ(control.caption(), row.caption);
    EXPECT_EQ(shownText(widget), QString::fromUtf8(row.shown ? row.shown : row.caption));
    EXPECT_TRUE(control.enabled());
    EXPECT_EQ(control.visible(), row.visible);
    EXPECT_EQ(control.tag(), "");
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_TRUE(button->shortcut().isEmpty()) << "no access key";
      EXPECT_FALSE(button->isChecked());
    }
    if (auto* push = qobject_cast<QPushButton*>(widget)) {
      EXPECT_FALSE(push->isDefault() || push->autoDefault());
    }
  }
  EXPECT_EQ(ui::qt::pixels(22), 1);  // to the nearest pixel, not truncated
  EXPECT_EQ(ui::qt::pixels(23), 2);
  // Tab order is creation order; frames and labels take no focus.
  std::vector<QWidget*> expected, chain;
  for (const LayoutRow& row : kRows)
    if (w.widget(row.name)->focusPolicy() != Qt::NoFocus) expected.push_back(w.widget(row.name));
  ASSERT_EQ(expected.size(), 11u);
  for (QWidget* next = w.window()->nextInFocusChain(); next != w.window();
       next = next->nextInFocusChain())
    if (std::find(expected.begin(), expected.end(), next) != expected.end()) chain.push_back(next);
  EXPECT_EQ(chain, expected);
}

// At any desktop scale (QT_SCALE_FACTOR; CTest runs this suite at 1.25, 1.5 and 2 too) the
// window keeps its layout in logical pixels (the first test), and Qt draws every one scaled.
TEST(QtBinding, TheLayoutScalesWithTheDesktop) {
  const char* setting = std::getenv("QT_SCALE_FACTOR");
  const double scale = setting ? std::stod(setting) : 1.0;
  Window w;
  w.window()->show();
  EXPECT_DOUBLE_EQ(w.window()->devicePixelRatioF(), scale);
  const QImage drawn = w.window()->grab().toImage();
  EXPECT_EQ(drawn.size(), QSize(qRound(289 * scale), qRound(249 * scale)));
}

TEST(QtBinding, StatesAreTheControlsOwn) {
  Window w;
  // Text boxes: single-line, no length limit, UTF-8 both ways.
  auto& text = w.as<ui::TextBox>("Text2");
  for (const std::string& t : {std::string(70000, 'x'), std::string("d:\\Spiele \xC3\xBC")}) {
    text.setText(t);
    EXPECT_EQ(text.text(), t);
  }
  // A caption set later keeps the notation and still shows one ampersand.
  w.control("optFM0").setCaption("Tiger && Havoc");
  EXPECT_EQ(w.control("optFM0").caption(), "Tiger && Havoc");
  EXPECT_EQ(shownText(w.widget("optFM0")), "Tiger & Havoc");
  // Hidden by the form before the window is shown, and still after; shown on its own.
  auto& label = w.control("lblCurrent1");
  w.window()->show();
  EXPECT_FALSE(label.visible());
  EXPECT_FALSE(w.widget("lblCurrent1")->isVisible());
  label.setVisible(true);
  EXPECT_TRUE(w.widget("lblCurrent1")->isVisible());
  EXPECT_FALSE(w.control("lblCurrent0").visible());
  w.control("Frame1").setEnabled(false);
  EXPECT_TRUE(w.control("Option1").enabled());
}

// The fixed layout holds its captions, and the flight models' names, in the window's font.
TEST(QtBinding, CaptionsFitTheirControls) {
  Window w;
  w.control("optFM0").setCaption("Apache Flight Model");
  w.control("optFM1").setCaption("Tiger Flight Model");
  w.control("optFM2").setCaption("Havoc Flight Model");
  for (const LayoutRow& row : kRows) {
    SCOPED_TRACE(row.name);
    QWidget* widget = w.widget(row.name);
    if (shownText(widget).isEmpty()) continue;  // Option1, Option2: the mark alone
    auto metric = [&](QStyle::PixelMetric m) {
      return widget->style()->pixelMetric(m, nullptr, widget);
    };
    int room = widget->width();
    if (qobject_cast<QRadioButton*>(widget))
      room -=
          metric(QStyle::PM_ExclusiveIndicatorWidth) + metric(QStyle::PM_RadioButtonLabelSpacing);
    else if (qobject_cast<QCheckBox*>(widget))
      room -= metric(QStyle::PM_IndicatorWidth) + metric(QStyle::PM_CheckBoxLabelSpacing);
    else if (qobject_cast<QPushButton*>(widget))
      room -= 2 * (metric(QStyle::PM_ButtonMargin) + metric(QStyle::PM_DefaultFrameWidth));
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(shownText(widget)), room);
    EXPECT_TRUE(widget->toolTip().isEmpty());
  }
  // A name the layout cannot hold is cut off; the tool tip shows it whole.
  w.control("optFM2").setCaption("Mil Mi-28N Night Havoc Flight Model");
  EXPECT_EQ(w.widget("optFM2")->toolTip(), "Mil Mi-28N Night Havoc Flight Model");
}

TEST(QtBinding, EnterPressesTheFocusedPushButtonLikeAClickAndNothingElsewhere) {
  // Each key on a window of its own: a copy's scan of the missing folder disables the buttons.
  const struct {
    const char* what;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool held;
    bool presses;
  } keys[] = {
      {"Return", Qt::Key_Return, Qt::NoModifier, false, true},
      {"Space", Qt::Key_Space, Qt::NoModifier, false, true},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, false, true},
      {"Esc", Qt::Key_Escape, Qt::NoModifier, false, false},
      {"Return held down: its repeats press nothing", Qt::Key_Return, Qt::NoModifier, true, false},
  };
  const struct {
    const char *button, *ran;
  } buttons[] = {{"Command1", "Launch"}, {"Command2", "Copy"}, {"Command3", "Launch"}};
  for (const auto& button : buttons) {
    for (const auto& key : keys) {
      SCOPED_TRACE(button.button + std::string(" ") + key.what);
      Window w;
      w.traced().shown();
      w.focus(button.button);
      w.press(key.key, key.modifiers, key.held);
      EXPECT_EQ(w.ran, key.presses ? button.ran : "");
    }
  }
  // No button is the default or the cancel button: elsewhere Enter and Esc change nothing.
  Window w;
  w.traced().shown();
  for (const char* other : {"Option1", "Text1", "optFM0", "chkSr"}) {
    w.focus(other);
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) w.press(key);
    EXPECT_EQ(w.focused(), other);
  }
  EXPECT_EQ(w.ran, "");
  EXPECT_FALSE(w.as<ui::OptionButton>("Option1").value() || w.as<ui::CheckBox>("chkSr").value());
  EXPECT_TRUE(w.window()->isVisible());
}

TEST(QtBinding, TabFollowsTheLayoutArrowsStayInTheirGroupAndFocusShows) {
  // Tab goes round in the layout's order; an option group is one stop, at its selected option
  // (or its first when none is), as in a Windows dialog.
  const struct {
    const char *selected, *disabled, *visited;
  } rounds[] = {
      {"", "", "Option1 Text1 Text2 optFM0 Command2 Command3 chkSr Command1"},
      {"Option2 optFM1", "", "Text1 Option2 Text2 optFM1 Command2 Command3 chkSr Command1"},
      {"Option2 optFM0", "optFM0", "Text1 Option2 Text2 optFM1 Command2 Command3 chkSr Command1"},
      {"", "Option1", "Text1 Option2 Text2 optFM0 Command2 Command3 chkSr Command1"},
  };
  for (const auto& round : rounds) {
    SCOPED_TRACE(round.selected + std::string(" / off: ") + round.disabled);
    Window w;
    w.shown();
    std::istringstream selected(round.selected), disabled(round.disabled);
    for (std::string name; selected >> name;) w.as<ui::OptionButton>(name).setValue(true);
    for (std::string name; disabled >> name;) w.as<ui::OptionButton>(name).setEnabled(false);
    w.focus("Command1");
    std::string visited;
    for (int i = 0; i < 8; ++i) {
      w.press(Qt::Key_Tab);
      visited += (visited.empty() ? "" : " ") + w.focused();
    }
    EXPECT_EQ(visited, round.visited);
  }

  // Arrow keys move through the option buttons of one frame and never leave it; from the
  // selected option they select as they go (running its procedure), skipping a disabled one.
  // The flight models' options have no procedure of their own.
  const struct {
    const char* from;
    int key;
    const char *to, *ran;
  } moves[] = {
      {"Option1", Qt::Key_Down, "Option2", "Option2"},
      {"Option2", Qt::Key_Up, "Option1", "Option1"},
      {"optFM0", Qt::Key_Down, "optFM2", ""},
      {"optFM2", Qt::Key_Down, "optFM2", ""},
      {"Option1", Qt::Key_Up, "Option1", ""},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(move.from + std::string(move.key == Qt::Key_Up ? " up" : " down"));
    Window w;
    w.traced().shown();
    w.as<ui::OptionButton>("optFM1").setEnabled(false);
    w.as<ui::OptionButton>(move.from).setValue(true);
    w.focus(move.from);
    w.press(move.key);
    EXPECT_EQ(w.focused(), move.to);
    EXPECT_TRUE(w.as<ui::OptionButton>(move.to).value());
    EXPECT_EQ(w.ran, move.ran);
  }

  // Every control that takes the keyboard looks different while it has it, once the keyboard
  // has moved the focus.
  Window w;
  w.shown();
  w.press(Qt::Key_Tab);
  for (const LayoutRow& row : kRows) {
    QWidget* widget = w.widget(row.name);
    if (widget->focusPolicy() == Qt::NoFocus) continue;
    SCOPED_TRACE(row.name);
    w.focus(row.name == std::string("chkSr") ? "Command1" : "chkSr");
    const QImage without = widget->grab().toImage();
    w.focus(row.name);
    EXPECT_NE(widget->grab().toImage(), without);
  }
}

TEST(QtBinding, OptionGroups) {
  // Steps ('s' select, 'c' clear, 'k' a user's click, 'd' disable), then the options selected
  // and the procedures run (the flight models' options have none).
  const struct {
    const char *what, *steps, *selected, *ran;
  } cases[] = {
      {"one group", "s Option1 s Option2", "Option2", ""},
      {"frames don't interfere", "s Option1 s optFM1", "Option1 optFM1", ""},
      {"a disabled option stays selected", "s optFM1 d optFM1 k Option2", "Option2 optFM1",
       "Option2"},
      {"...until its group clears it", "s optFM1 d optFM1 k optFM2", "optFM2", ""},
      {"clearing the selected one", "s Option2 c Option2", "", ""},
      {"clearing another", "s Option2 c Option1", "Option2", ""},
      {"exclusive after a clear", "s Option1 c Option1 s Option2 s Option1", "Option1", ""},
      {"a click runs the new one", "k Option1 k Option2", "Option2", "Option1 Option2"},
      {"clicking the selected one reruns it", "s Option1 k Option1 k Option1", "Option1",
       "Option1 Option1"},
      {"a disabled option takes no click", "d Option2 k Option2", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Window w;
    w.traced();
    std::istringstream steps(c.steps);
    for (std::string op, name; steps >> op >> name;) {
      auto& option = w.as<ui::OptionButton>(name);
      if (op == "s" || op == "c") option.setValue(op == "s");
      if (op == "k") option.click();
      if (op == "d") option.setEnabled(false);
      w.note();
    }
    std::string selected;
    for (const char* name : {"Option1", "Option2", "optFM0", "optFM1", "optFM2"})
      if (w.as<ui::OptionButton>(name).value())
        selected += (selected.empty() ? "" : " ") + std::string(name);
    EXPECT_EQ(selected, c.selected);
    EXPECT_EQ(w.ran, c.ran);
  }
}

// A launch that cannot enter the game's folder raises an error.
TEST(QtBinding, AnEscapingErrorIsReportedOnceAndEndsTheProgram) {
  for (const char* failing : {"Command1", "Command3"}) {
    SCOPED_TRACE(failing);
    Window w;
    w.traced();
    const auto& host = w.fresh.host;
    w.control(failing).click();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].style, ui::kCritical);
    EXPECT_EQ(host.messages()[0].title, "Kestrun");
    EXPECT_NE(host.messages()[0].prompt.find("Cannot open the folder \"" + w.form.GamePath),
              std::string::npos);
    EXPECT_EQ(host.ends(), 1);
    w.control("Command2").click();
    w.control("Option1").click();
    EXPECT_EQ(host.messages().size(), 1u);
    w.note();
    EXPECT_EQ(w.ran, "Launch") << "nothing ran after the error";
  }
}

// The binding's own host, put in force for one test: answers each message box with OK, and
// ends a run that would hang.
struct QtHostInForce {
  QtHostInForce() : previous(ui::setHost(ui::qt::host())) {
    QObject::connect(&answer, &QTimer::timeout, [this] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (!box || !box->isVisible()) continue;
        shown.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        box->button(QMessageBox::Ok)->click();
      }
    });
    answer.start(10);
    giveUp.callOnTimeout([] { QCoreApplication::exit(99); });
    giveUp.start(5000);
  }
  ~QtHostInForce() {
    ui::setHost(previous);
    ui::resetEnded();
  }
  struct Shown {
    QString title, text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };
  ui::Host previous;
  QTimer answer, giveUp;
  std::vector<Shown> shown;
};

TEST(QtBinding, MessageBoxesShowTheirStyle) {
  Window w;
  QtHostInForce host;
  const struct {
    int style;
    QMessageBox::Icon icon;
  } styles[] = {{ui::kOkOnly, QMessageBox::NoIcon},
                {ui::kCritical, QMessageBox::Critical},
                {ui::kQuestion, QMessageBox::Question},
                {ui::kExclamation, QMessageBox::Warning},
                {ui::kInformation, QMessageBox::Information}};
  for (const auto& row : styles) {
    SCOPED_TRACE(row.style);
    host.shown.clear();
    EXPECT_EQ(ui::msgBox("Error 0 Writing to <c:\\data\\custom.ini>", row.style), ui::kOk);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].title, "Kestrun");
    EXPECT_EQ(host.shown[0].text, "Error 0 Writing to <c:\\data\\custom.ini>");
    EXPECT_EQ(host.shown[0].icon, row.icon);
    EXPECT_EQ(host.shown[0].buttons, QMessageBox::Ok);
  }
}

// Launch, with no folder chosen, cannot enter the game's folder.
TEST(QtBinding, AnErrorInAClickClosesTheWindowAndEndsTheRun) {
  Window w;
  QtHostInForce host;
  QTimer::singleShot(0, [&w] { w.control("Command3").click(); });
  EXPECT_EQ(w.fresh.toolkit->run([] {}), 0);
  EXPECT_FALSE(w.window()->isVisible());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(host.shown[0].text.contains("Cannot open the folder"));
  w.control("Command2").click();
  EXPECT_EQ(w.form.IniFile, "") << "no procedure runs once the program has ended";
}

// Ended in its load, the program shows no window and leaves later message boxes working.
TEST(QtBinding, ALoadThatEndsTheProgramShowsNoWindow) {
  Window w;
  QtHostInForce host;
  int loads = 0;
  EXPECT_EQ(w.fresh.toolkit->run([&loads] {
    ++loads;
    ui::endProgram();
  }),
            0);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(w.window()->isVisible());
  ui::resetEnded();
  ui::msgBox("Unable to start gunship.exe", ui::kCritical);
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST(QtBinding, AHostInstalledBeforeTheToolkitStays) {
  Window w;  // its recorder is in force before the toolkit starts
  ui::msgBox("Unable to start gunship.exe", ui::kCritical);
  EXPECT_EQ(w.fresh.host.messages().size(), 1u);
}

}  // namespace
