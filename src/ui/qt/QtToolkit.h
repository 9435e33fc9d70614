// The Qt 6 Widgets binding of the window.
//
// QtToolkit builds the one fixed-size window out of Qt widgets: frames are group boxes with
// absolutely placed children, option buttons radio buttons (a container's buttons exclude each
// other), text boxes single-line edits, push buttons never default (Enter presses the one that
// has the focus, as on Windows). Besides the Toolkit interface
// it lets tests reach the real widgets: the window and the widget behind each control.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"
#include "ui/Host.h"

class QWidget;

namespace ui::qt {

// Twips to logical pixels, to the nearest pixel. Qt scales logical pixels on high-DPI screens.
int pixels(int twips);

class QtToolkit final : public Toolkit {
 public:
  QtToolkit();
  ~QtToolkit() override;
  QtToolkit(const QtToolkit&) = delete;
  QtToolkit& operator=(const QtToolkit&) = delete;

  void createWindow(const std::string& title, int clientWidth, int clientHeight) override;
  Frame& addFrame(const Twips& at, const std::string& caption) override;
  OptionButton& addOptionButton(Frame* container, const Twips& at, const std::string& caption,
                                Procedure onClick) override;
  TextBox& addTextBox(Frame* container, const Twips& at, const std::string& text) override;
  Label& addLabel(Frame* container, const Twips& at, const std::string& caption) override;
  CheckBox& addCheckBox(Frame* container, const Twips& at, const std::string& caption) override;
  CommandButton& addCommandButton(Frame* container, const Twips& at, const std::string& caption,
                                  Procedure onClick) override;
  void nameAfterText(OptionButton& option, const std::string& prefix, TextBox& box) override;
  void describeWhileShown(OptionButton& option, Label& marker) override;
  int run(const Procedure& onLoad) override;

  // The window, or nullptr before createWindow.
  QWidget* window() const;
  // The widget behind a control this binding created; nullptr for any other control.
  static QWidget* widgetOf(const Control& control);

 private:
  QWidget* containerWidget(Frame* container) const;
  // Places a new widget in its container and appends it to the tab order if it takes focus.
  void place(QWidget* widget, const Twips& at);
  template <class Impl, class Widget, class... Args>
  Impl& add(Frame* container, const Twips& at, Args&&... args);

  std::unique_ptr<QWidget> window_;
  std::vector<std::unique_ptr<Control>> controls_;  // wrappers only; the window owns the widgets
  QWidget* lastInTabOrder_ = nullptr;
};

// The message boxes and program end on Qt: a modal QMessageBox over the window, and the window
// hidden with the event loop told to return. makeToolkit installs it; tests may install it again.
Host host();

}  // namespace ui::qt
