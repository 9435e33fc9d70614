// The control kinds the window is made of, as small host-free interfaces.
//
// Form1 is written once against these; a binding (ui/qt, ui/win32) creates the real widgets.
// Each control exposes only the states the window's procedures read and write: caption, text,
// value, enabled, visible and a free text tag. Captions use the toolkit notation both bindings
// share: "&&" shows one ampersand, and no caption here carries an access key.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ui {

// What a caption shows and a screen reader reads: "&&" is one ampersand; a lone "&" would mark
// an access key, which no control of this window has, so it shows nothing. For the bindings,
// in their own character type ('&' is one unit in UTF-8 and UTF-16 alike).
template <class Char>
std::basic_string<Char> shownCaption(std::basic_string_view<Char> caption) {
  std::basic_string<Char> shown;
  shown.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != Char('&')) {
      shown += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == Char('&')) {
      shown += Char('&');
      ++i;
    }
  }
  return shown;
}

// Position and size in twips (15 twips to a logical pixel), relative to the container's
// top-left corner: the window's client area or the frame's.
struct Twips {
  int left;
  int top;
  int width;
  int height;
};

class Control {
 public:
  virtual ~Control() = default;
  virtual bool enabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool visible() const = 0;
  virtual void setVisible(bool visible) = 0;
  virtual std::string tag() const = 0;
  virtual void setTag(const std::string& tag) = 0;
  virtual std::string caption() const = 0;
  virtual void setCaption(const std::string& caption) = 0;
  // What a user's click does: for buttons it runs the click procedure, for option buttons it
  // selects (and runs the procedure, where one is wired), for the check box it toggles.
  virtual void click() = 0;
};

class Frame : public virtual Control {};

class Label : public virtual Control {};

class CommandButton : public virtual Control {};

class OptionButton : public virtual Control {
 public:
  // Selected or not. Selecting one clears the other option buttons of its container.
  // Setting it from code runs no click procedure.
  virtual bool value() const = 0;
  virtual void setValue(bool selected) = 0;
};

class TextBox : public virtual Control {
 public:
  virtual std::string text() const = 0;
  virtual void setText(const std::string& text) = 0;
};

class CheckBox : public virtual Control {
 public:
  // 0 clear, 1 ticked.
  virtual int value() const = 0;
  virtual void setValue(int value) = 0;
};

using Procedure = std::function<void()>;

// Creates the one window and its controls. Controls are created in tab order; a control whose
// container is nullptr sits on the window itself. Every procedure handed in is entered through
// ui::runEvent.
class Toolkit {
 public:
  virtual ~Toolkit() = default;
  virtual void createWindow(const std::string& title, int clientWidth, int clientHeight) = 0;
  virtual Frame& addFrame(const Twips& at, const std::string& caption) = 0;
  virtual OptionButton& addOptionButton(Frame* container, const Twips& at,
                                        const std::string& caption, Procedure onClick) = 0;
  virtual TextBox& addTextBox(Frame* container, const Twips& at, const std::string& text) = 0;
  virtual Label& addLabel(Frame* container, const Twips& at, const std::string& caption) = 0;
  virtual CheckBox& addCheckBox(Frame* container, const Twips& at, const std::string& caption) = 0;
  virtual CommandButton& addCommandButton(Frame* container, const Twips& at,
                                          const std::string& caption, Procedure onClick) = 0;

  // What assistive technology (a screen reader) reads where a caption cannot say it. The
  // captions on screen stay as they are; these only add accessible names and descriptions.
  //
  // The accessible name of option becomes prefix followed by the text of box, and follows the
  // text as it changes (typed or set by code): an option that shows its mark alone is named
  // after the folder its box holds.
  virtual void nameAfterText(OptionButton& option, const std::string& prefix, TextBox& box) = 0;
  // The accessible description of option is the caption of marker while marker is visible (its
  // own flag, as Control::visible reports it) and empty while it is hidden.
  virtual void describeWhileShown(OptionButton& option, Label& marker) = 0;

  // Runs the load procedure (through ui::runEvent), shows the window and runs the event loop
  // until the window is closed or the program is ended. Returns the exit code.
  virtual int run(const Procedure& onLoad) = 0;
};

}  // namespace ui
