#include "ui/qt/QtToolkit.h"

#include <QtWidgets/qdrawutil.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <limits>
#include <stdexcept>
#include <utility>

#include "ui/Binding.h"

namespace ui::qt {
namespace {

// The window of the newest toolkit, for the message boxes' parent and the program's end. It
// clears itself when that window goes.
QPointer<QWidget>& currentWindow() {
  static QPointer<QWidget> window;
  return window;
}

// Whether run is in its event loop. Told to quit outside one, Qt would make the next modal loop
// (a message box's) return before it shows.
bool& eventLoopRunning() {
  static bool running = false;
  return running;
}

// The text a caption shows, as a Qt string.
QString shownText(const std::string& caption) {
  return QString::fromStdString(shownCaption(std::string_view(caption)));
}

// Buttons and group boxes read "&" as their mnemonic marker; doubled, it stays a literal.
QString asButtonText(const std::string& caption) {
  return shownText(caption).replace(u'&', QStringLiteral("&&"));
}

QMessageBox::Icon iconFor(int style) {
  switch (style & kIconMask) {
    case kCritical:
      return QMessageBox::Critical;
    case kQuestion:
      return QMessageBox::Question;
    case kExclamation:
      return QMessageBox::Warning;
    case kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The layout's twips were drawn for the classic 8-point dialog font, whose average letter is 6
// pixels wide. The desktop's font family stays; its size comes down, where needed, to take no
// more room than that, so that captions fit their controls.
QFont layoutFont(QFont font) {
  constexpr double kPointSize = 8.0;
  constexpr double kAverageLetter = 6.0;
  if (font.pointSizeF() > kPointSize) font.setPointSizeF(kPointSize);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const double average = QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
  if (average > kAverageLetter && font.pointSizeF() > 0)
    font.setPointSizeF(font.pointSizeF() * kAverageLetter / average);
  return font;
}

// Qt reads a bare top-level QWidget as a filler; to a screen reader the window is a frame named
// after its title, as any application's main window is.
QAccessibleInterface* windowAccessible(const QString& className, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (className != QLatin1String("QWidget") || !widget || !widget->isWindow()) return nullptr;
  return new QAccessibleWidget(widget, QAccessible::Window);
}

// What lets the inspection API find a control's widget.
class Widgeted {
 public:
  virtual ~Widgeted() = default;
  virtual QWidget* widget() const = 0;
};

// The states every control has, over a widget that its container owns.
template <class Interface, class Widget>
class Bound : public Interface, public Widgeted {
 public:
  explicit Bound(Widget* widget) : w_(widget) {}
  QWidget* widget() const override { return w_; }

  // A control's own flags, whatever its frame's are.
  bool enabled() const override { return !w_->testAttribute(Qt::WA_ForceDisabled); }
  void setEnabled(bool enabled) override { w_->setEnabled(enabled); }
  bool visible() const override { return !w_->isHidden(); }
  void setVisible(bool visible) override { w_->setVisible(visible); }

  std::string tag() const override { return tag_; }
  void setTag(const std::string& tag) override { tag_ = tag; }
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& caption) override {
    caption_ = caption;
    showCaption();
  }
  void click() override {}

 protected:
  virtual void showCaption() = 0;

  Widget* const w_;
  std::string caption_;

 private:
  std::string tag_;
};

// Every event procedure is entered through runEvent.
void connectClick(QAbstractButton* button, Procedure onClick) {
  if (!onClick) return;
  QObject::connect(button, &QAbstractButton::clicked, button,
                   [procedure = std::move(onClick)] { runEvent(procedure); });
}

// A frame as the layout expects it: an etched border through the middle of its caption, so that
// controls placed a row below its top edge sit well inside it. (Styles such as Fusion draw the
// border under the caption, right across that first row.)
class FrameBox final : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true);
    if (title().isEmpty()) return;
    constexpr int kInset = 6;
    constexpr int kPad = 2;
    const int width = metrics.size(Qt::TextShowMnemonic, title()).width();
    const QRect caption(kInset, 0, width + 2 * kPad, metrics.height());
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextHideMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
  }
};

class QtFrame final : public Bound<Frame, QGroupBox> {
 public:
  QtFrame(QGroupBox* box, const std::string& caption) : Bound(box) { setCaption(caption); }

 private:
  void showCaption() override { w_->setTitle(asButtonText(caption_)); }
};

// An option group is one stop of the Tab key, as in a Windows dialog: its selected option, or its
// first enabled one while no enabled option is selected; the arrow keys move within the group.
// (Qt's own stop, the option that had the focus last, may be an option that is not selected, or a
// disabled one, which would take the whole group out of the Tab order.)
void settleTabStop(QWidget* container) {
  const auto options = container->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
  QRadioButton* stop = nullptr;
  for (QRadioButton* option : options)
    if (option->isChecked() && option->isEnabled()) stop = option;
  for (QRadioButton* option : options)
    if (!stop && option->isEnabled()) stop = option;
  for (QRadioButton* option : options) {
    const int policy = option->focusPolicy();
    option->setFocusPolicy(
        Qt::FocusPolicy(option == stop ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
  }
}

class QtOptionButton final : public Bound<OptionButton, QRadioButton> {
 public:
  QtOptionButton(QRadioButton* button, const std::string& caption, Procedure onClick)
      : Bound(button) {
    setCaption(caption);
    // clicked, not toggled: a selection made by code runs nothing, and a click on the option
    // that is already selected runs its procedure again.
    connectClick(button, std::move(onClick));
    // Any change of the selection, by the player or by code, moves the group's Tab stop.
    QObject::connect(button, &QAbstractButton::toggled, button,
                     [button] { settleTabStop(button->parentWidget()); });
    settleTabStop(button->parentWidget());
  }

  void setEnabled(bool enabled) override {
    Bound::setEnabled(enabled);
    settleTabStop(w_->parentWidget());
  }

  bool value() const override { return w_->isChecked(); }
  void setValue(bool selected) override {
    if (selected) {
      w_->setChecked(true);  // clears the others of its container
    } else if (w_->isChecked()) {
      // The selected button of an exclusive group refuses to clear: leave the group meanwhile.
      w_->setAutoExclusive(false);
      w_->setChecked(false);
      w_->setAutoExclusive(true);
    }
  }
  void click() override { w_->click(); }

 private:
  // A button no wider than its selection mark shows no text, not even a sliver of it.
  void showCaption() override {
    const QStyle* style = w_->style();
    const int mark = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w_) +
                     style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w_);
    w_->setText(w_->width() > mark ? asButtonText(caption_) : QString());
    // A flight model's name too long for the fixed layout is cut off; its tip shows it whole.
    const bool cut = !w_->text().isEmpty() && w_->sizeHint().width() > w_->width();
    w_->setToolTip(cut ? shownText(caption_) : QString());
  }
};

class QtTextBox final : public Bound<TextBox, QLineEdit> {
 public:
  QtTextBox(QLineEdit* edit, const std::string& text) : Bound(edit) {
    edit->setMaxLength(std::numeric_limits<int>::max());
    setText(text);
  }

  std::string text() const override { return w_->text().toUtf8().toStdString(); }
  void setText(const std::string& text) override { w_->setText(QString::fromUtf8(text)); }
  // A text box has no caption of its own; its text stands in.
  std::string caption() const override { return text(); }
  void setCaption(const std::string& caption) override { setText(caption); }

 private:
  void showCaption() override {}
};

class QtLabel final : public Bound<Label, QLabel> {
 public:
  QtLabel(QLabel* label, const std::string& caption) : Bound(label) {
    label->setTextFormat(Qt::PlainText);
    setCaption(caption);
  }

  void setVisible(bool visible) override {
    Bound::setVisible(visible);
    describe();
  }
  // widget's accessible description is this label's caption while the label is visible.
  void describes(QWidget* widget) {
    described_.emplace_back(widget);
    describe();
  }

 private:
  void showCaption() override {
    w_->setText(shownText(caption_));
    describe();
  }
  void describe() {
    const QString description = visible() ? shownText(caption_) : QString();
    for (const QPointer<QWidget>& widget : described_)
      if (widget) widget->setAccessibleDescription(description);
  }

  std::vector<QPointer<QWidget>> described_;
};

class QtCheckBox final : public Bound<CheckBox, QCheckBox> {
 public:
  QtCheckBox(QCheckBox* box, const std::string& caption) : Bound(box) { setCaption(caption); }

  int value() const override { return w_->isChecked() ? 1 : 0; }
  void setValue(int value) override { w_->setChecked(value != 0); }
  void click() override { w_->click(); }

 private:
  void showCaption() override { w_->setText(asButtonText(caption_)); }
};

// A push button that Enter (the main key or the keypad's) presses while it has the focus, as the
// Windows dialog manager does for a focused button. Space presses it as ever. A key held down
// presses once, as a mouse button held down does. With the focus elsewhere Enter is left alone,
// and no button is the window's default, so it presses nothing.
class PushButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
      QPushButton::keyPressEvent(event);
      return;
    }
    event->accept();
    if (!event->isAutoRepeat()) click();
  }
};

class QtCommandButton final : public Bound<CommandButton, QPushButton> {
 public:
  QtCommandButton(QPushButton* button, const std::string& caption, Procedure onClick)
      : Bound(button) {
    // Neither the default nor a would-be default: Enter and Esc press no button.
    button->setAutoDefault(false);
    button->setDefault(false);
    setCaption(caption);
    connectClick(button, std::move(onClick));
  }

  void click() override { w_->click(); }

 private:
  void showCaption() override { w_->setText(asButtonText(caption_)); }
};

}  // namespace

int pixels(int twips) {
  return (twips >= 0 ? twips + 7 : twips - 7) / 15;
}

QtToolkit::QtToolkit() = default;

// The wrappers go first, then the window with every widget in it.
QtToolkit::~QtToolkit() = default;

void QtToolkit::createWindow(const std::string& title, int clientWidth, int clientHeight) {
  if (window_) throw std::logic_error("the window has been created already");
  // A fixed window: it can be minimised and closed, not resized or maximised.
  window_ = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                                                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                   Qt::WindowMinimizeButtonHint |
                                                   Qt::WindowCloseButtonHint);
  window_->setWindowTitle(QString::fromUtf8(title));
  window_->setFixedSize(pixels(clientWidth), pixels(clientHeight));
  window_->setFont(layoutFont(window_->font()));
  currentWindow() = window_.get();
}

QWidget* QtToolkit::containerWidget(Frame* container) const {
  if (!window_) throw std::logic_error("controls need their window first");
  if (!container) return window_.get();
  QWidget* frame = widgetOf(*container);
  if (!frame || !window_->isAncestorOf(frame))
    throw std::logic_error("a control's container must be a frame of its window");
  return frame;
}

void QtToolkit::place(QWidget* widget, const Twips& at) {
  // Edges are rounded, not sizes, so that touching controls stay touching.
  const int left = pixels(at.left);
  const int top = pixels(at.top);
  widget->setGeometry(left, top, pixels(at.left + at.width) - left,
                      pixels(at.top + at.height) - top);
  if (widget->focusPolicy() & Qt::TabFocus) {
    if (lastInTabOrder_) QWidget::setTabOrder(lastInTabOrder_, widget);
    lastInTabOrder_ = widget;
  }
}

template <class Impl, class Widget, class... Args>
Impl& QtToolkit::add(Frame* container, const Twips& at, Args&&... args) {
  auto* widget = new Widget(containerWidget(container));
  place(widget, at);
  auto control = std::make_unique<Impl>(widget, std::forward<Args>(args)...);
  Impl& added = *control;
  controls_.push_back(std::move(control));
  return added;
}

Frame& QtToolkit::addFrame(const Twips& at, const std::string& caption) {
  return add<QtFrame, FrameBox>(nullptr, at, caption);
}

OptionButton& QtToolkit::addOptionButton(Frame* container, const Twips& at,
                                         const std::string& caption, Procedure onClick) {
  return add<QtOptionButton, QRadioButton>(container, at, caption, std::move(onClick));
}

TextBox& QtToolkit::addTextBox(Frame* container, const Twips& at, const std::string& text) {
  return add<QtTextBox, QLineEdit>(container, at, text);
}

Label& QtToolkit::addLabel(Frame* container, const Twips& at, const std::string& caption) {
  return add<QtLabel, QLabel>(container, at, caption);
}

CheckBox& QtToolkit::addCheckBox(Frame* container, const Twips& at, const std::string& caption) {
  return add<QtCheckBox, QCheckBox>(container, at, caption);
}

CommandButton& QtToolkit::addCommandButton(Frame* container, const Twips& at,
                                           const std::string& caption, Procedure onClick) {
  return add<QtCommandButton, PushButton>(container, at, caption, std::move(onClick));
}

void QtToolkit::nameAfterText(OptionButton& option, const std::string& prefix, TextBox& box) {
  QWidget* named = widgetOf(option);
  auto* edit = qobject_cast<QLineEdit*>(widgetOf(box));
  if (!named || !edit) throw std::logic_error("names come from controls of this toolkit");
  const QString lead = QString::fromUtf8(prefix);
  const auto rename = [named, lead](const QString& text) { named->setAccessibleName(lead + text); };
  rename(edit->text());
  // textChanged, not textEdited: a folder written by code is read out as well as a typed one.
  QObject::connect(edit, &QLineEdit::textChanged, named, rename);
}

void QtToolkit::describeWhileShown(OptionButton& option, Label& marker) {
  QWidget* described = widgetOf(option);
  auto* label = dynamic_cast<QtLabel*>(&marker);
  if (!described || !label)
    throw std::logic_error("descriptions come from controls of this toolkit");
  label->describes(described);
}

int QtToolkit::run(const Procedure& onLoad) {
  runEvent(onLoad);
  // A load procedure that ended the program leaves nothing to show.
  if (ended() || !window_) return 0;
  window_->show();
  eventLoopRunning() = true;
  const int code = QApplication::exec();
  eventLoopRunning() = false;
  return code;
}

QWidget* QtToolkit::window() const {
  return window_.get();
}

QWidget* QtToolkit::widgetOf(const Control& control) {
  const auto* widgeted = dynamic_cast<const Widgeted*>(&control);
  return widgeted ? widgeted->widget() : nullptr;
}

Host host() {
  Host qtHost;
  qtHost.messageBox = [](const std::string& prompt, int style, const std::string& title) {
    QWidget* window = currentWindow();
    QMessageBox box(iconFor(style), QString::fromUtf8(title), QString::fromUtf8(prompt),
                    QMessageBox::Ok, window && window->isVisible() ? window : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return kOk;
  };
  qtHost.endProgram = [] {
    if (QWidget* window = currentWindow()) window->hide();
    if (eventLoopRunning()) QCoreApplication::exit(0);
  };
  return qtHost;
}

}  // namespace ui::qt

namespace ui {

std::unique_ptr<Toolkit> makeToolkit(int& argc, char** argv) {
  if (!QCoreApplication::instance()) {
    // One application object for the whole process, kept to its end: windows come and go (the
    // tests make many), the application stays.
    static QApplication* const application = new QApplication(argc, argv);
    (void)application;
    QAccessible::installFactory(qt::windowAccessible);
  } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw std::logic_error("the window needs a QApplication");
  }
  setHostUnlessSet(qt::host());
  // Qt keeps a stack of override cursors: each shown one is taken away again.
  setWaitCursor([](bool shown) {
    if (shown)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  });
  return std::make_unique<qt::QtToolkit>();
}

}  // namespace ui
