#include "ui/win32/Win32Toolkit.h"

#include <commctrl.h>
#include <objbase.h>

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/win32/Text.h"
#include "ui/Binding.h"
#include "ui/Host.h"
#include "ui/win32/AccessibleOption.h"

namespace ui::win32 {

using platform::win32::fromWide;
using platform::win32::toWide;

namespace {

constexpr wchar_t kWindowClass[] = L"KestrunWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kTwipsPerInch = 1440;
// Control ids start above IDOK and IDCANCEL, so Enter and Esc never press a control by those
// ids (Enter presses the focused push button, DM_GETDEFID below).
constexpr int kFirstControlId = 100;

// The toolkit whose window the binding's message boxes belong to and whose end ends the program.
Win32Toolkit* activeToolkit = nullptr;

std::string windowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return fromWide(text);
}

}  // namespace

// ---- Controls --------------------------------------------------------------------------------

class Win32Control : public virtual Control {
 public:
  Win32Control(HWND hwnd, const Control* container, Procedure onClick)
      : hwnd_(hwnd), container_(container), onClick_(std::move(onClick)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  bool enabled() const override { return IsWindowEnabled(hwnd_) != FALSE; }
  void setEnabled(bool enabled) override { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  // The control's own visible state, which holds before the window is shown.
  bool visible() const override { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void setVisible(bool visible) override { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
  std::string tag() const override { return tag_; }
  void setTag(const std::string& tag) override { tag_ = tag; }
  std::string caption() const override { return windowText(hwnd_); }
  void setCaption(const std::string& caption) override {
    SetWindowTextW(hwnd_, toWide(caption).c_str());
  }
  void click() override {
    if (enabled() && visible()) SendMessageW(hwnd_, BM_CLICK, 0, 0);
  }

  HWND hwnd() const { return hwnd_; }
  const Control* container() const { return container_; }
  // A BN_CLICKED from the control.
  virtual void clicked() {
    if (onClick_) ui::runEvent(onClick_);
  }
  // An EN_CHANGE from the control.
  virtual void changed() {}

 private:
  HWND hwnd_;
  const Control* container_;
  Procedure onClick_;
  std::string tag_;
};

class Win32Frame : public Frame, public Win32Control {
 public:
  Win32Frame(HWND hwnd, Twips origin) : Win32Control(hwnd, nullptr, {}), origin_(origin) {}
  void click() override {}
  const Twips& origin() const { return origin_; }

 private:
  Twips origin_;
};

// Tells screen readers that a property of the accessible objects of the controls listed changed.
static void notify(DWORD event, const std::vector<HWND>& controls) {
  for (HWND control : controls) NotifyWinEvent(event, control, OBJID_CLIENT, CHILDID_SELF);
}

class Win32Label : public Label, public Win32Control {
 public:
  using Win32Control::Win32Control;
  void click() override {}
  void setVisible(bool visible) override {
    Win32Control::setVisible(visible);
    notify(EVENT_OBJECT_DESCRIPTIONCHANGE, describes_);
  }
  // The controls whose accessible description this label's caption is while it shows.
  void describes(HWND control) { describes_.push_back(control); }

 private:
  std::vector<HWND> describes_;
};

class Win32CommandButton : public CommandButton, public Win32Control {
 public:
  using Win32Control::Win32Control;
};

class Win32OptionButton : public OptionButton, public Win32Control {
 public:
  Win32OptionButton(Win32Toolkit& toolkit, HWND hwnd, const Control* container, Procedure onClick,
                    bool showsText)
      : Win32Control(hwnd, container, std::move(onClick)),
        toolkit_(toolkit),
        showsText_(showsText) {}
  ~Win32OptionButton() override {
    if (annotation_.any()) RemoveWindowSubclass(hwnd(), &Win32OptionButton::annotated, 0);
  }
  Win32OptionButton(const Win32OptionButton&) = delete;
  Win32OptionButton& operator=(const Win32OptionButton&) = delete;

  // Where the accessible name or description comes from (AccessibleOption.h); the button then
  // answers WM_GETOBJECT itself.
  void annotate(const std::function<void(Annotation&)>& change) {
    if (!annotation_.any())
      SetWindowSubclass(hwnd(), &Win32OptionButton::annotated, 0,
                        reinterpret_cast<DWORD_PTR>(this));
    change(annotation_);
  }

  // An option button as narrow as its mark keeps its caption but paints no text.
  std::string caption() const override { return caption_; }
  void setCaption(const std::string& caption) override {
    caption_ = caption;
    Win32Control::setCaption(showsText_ ? caption : std::string());
  }
  bool value() const override { return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void setValue(bool selected) override {
    SendMessageW(hwnd(), BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
    if (selected) toolkit_.clearOthers(container(), this);
  }
  void clicked() override {
    toolkit_.clearOthers(container(), this);
    Win32Control::clicked();
  }

 private:
  static LRESULT CALLBACK annotated(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR /*id*/, DWORD_PTR self) {
    if (message != WM_GETOBJECT) return DefSubclassProc(hwnd, message, wParam, lParam);
    return answerGetObject(hwnd, wParam, lParam,
                           reinterpret_cast<Win32OptionButton*>(self)->annotation_);
  }

  Win32Toolkit& toolkit_;
  bool showsText_;
  std::string caption_;
  Annotation annotation_;
};

class Win32TextBox : public TextBox, public Win32Control {
 public:
  using Win32Control::Win32Control;
  std::string text() const override { return Win32Control::caption(); }
  void setText(const std::string& text) override {
    Win32Control::setCaption(text);
    changed();  // whether or not the edit control reports a text set by code
  }
  void click() override {
    if (enabled() && visible()) SetFocus(hwnd());
  }
  void changed() override { notify(EVENT_OBJECT_NAMECHANGE, names_); }
  // The controls whose accessible name this box's text is part of.
  void names(HWND control) { names_.push_back(control); }

 private:
  std::vector<HWND> names_;
};

class Win32CheckBox : public CheckBox, public Win32Control {
 public:
  using Win32Control::Win32Control;
  int value() const override {
    return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  }
  void setValue(int value) override {
    SendMessageW(hwnd(), BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
};

// ---- The toolkit -----------------------------------------------------------------------------

Win32Toolkit::Win32Toolkit() {
  // Screen readers reach the window's accessible objects through COM: this thread is a
  // single-threaded apartment, as a window's thread is.
  comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32Toolkit::windowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // fails harmlessly when a second toolkit registers it again
  font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

Win32Toolkit::~Win32Toolkit() {
  if (activeToolkit == this) activeToolkit = nullptr;
  if (window_ != nullptr) {
    // Taken down with the toolkit, not closed by the user: no quit message for the thread.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  controls_.clear();
  if (comReady_) CoUninitialize();
}

int Win32Toolkit::pixelsX(int twips) const {
  return MulDiv(twips, dpiX_, kTwipsPerInch);
}
int Win32Toolkit::pixelsY(int twips) const {
  return MulDiv(twips, dpiY_, kTwipsPerInch);
}

HWND Win32Toolkit::handleOf(const Control& control) {
  const auto* own = dynamic_cast<const Win32Control*>(&control);
  return own != nullptr ? own->hwnd() : nullptr;
}

void Win32Toolkit::createWindow(const std::string& title, int clientWidth, int clientHeight) {
  window_ = CreateWindowExW(0, kWindowClass, toWide(title).c_str(), kWindowStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) return;
  if (HDC dc = GetDC(window_)) {
    dpiX_ = GetDeviceCaps(dc, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window_, dc);
  }
  RECT frame{0, 0, pixelsX(clientWidth), pixelsY(clientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Win32Toolkit::createControl(Frame* container, const Twips& at, const wchar_t* className,
                                 DWORD style, DWORD exStyle, const std::string& text,
                                 bool startsGroup) {
  Twips place = at;
  if (container != nullptr) {
    const auto& origin = dynamic_cast<const Win32Frame&>(*container).origin();
    place.left += origin.left;
    place.top += origin.top;
  }
  // A group starts at every control of the window and at the first control of each frame.
  const Control* owner = container;
  if (owner == nullptr || owner != lastContainer_ || !anyControl_ || startsGroup) style |= WS_GROUP;
  lastContainer_ = owner;
  anyControl_ = true;

  const int id = kFirstControlId + static_cast<int>(controls_.size());
  HWND hwnd = CreateWindowExW(
      exStyle, className, toWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, pixelsX(place.left),
      pixelsY(place.top), pixelsX(place.width), pixelsY(place.height), window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return hwnd;
}

template <class T, class... Args>
T& Win32Toolkit::adopt(Args&&... args) {
  auto control = std::make_unique<T>(std::forward<Args>(args)...);
  T& made = *control;
  controls_.push_back(std::move(control));
  return made;
}

Frame& Win32Toolkit::addFrame(const Twips& at, const std::string& caption) {
  HWND hwnd = createControl(nullptr, at, L"BUTTON", BS_GROUPBOX, 0, caption, true);
  return adopt<Win32Frame>(hwnd, at);
}

OptionButton& Win32Toolkit::addOptionButton(Frame* container, const Twips& at,
                                            const std::string& caption, Procedure onClick) {
  // The selection mark takes about 195 twips; a button not twice as wide shows the mark alone.
  const bool showsText = at.width >= 2 * 195;
  HWND hwnd = createControl(container, at, L"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, 0,
                            showsText ? caption : std::string(), false);
  auto& option = adopt<Win32OptionButton>(*this, hwnd, container, std::move(onClick), showsText);
  option.setCaption(caption);
  return option;
}

TextBox& Win32Toolkit::addTextBox(Frame* container, const Twips& at, const std::string& text) {
  HWND hwnd = createControl(container, at, L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP,
                            WS_EX_CLIENTEDGE, text, false);
  SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no limit but the system's
  return adopt<Win32TextBox>(hwnd, container, Procedure{});
}

Label& Win32Toolkit::addLabel(Frame* container, const Twips& at, const std::string& caption) {
  HWND hwnd = createControl(container, at, L"STATIC", SS_LEFT, 0, caption, false);
  return adopt<Win32Label>(hwnd, container, Procedure{});
}

CheckBox& Win32Toolkit::addCheckBox(Frame* container, const Twips& at, const std::string& caption) {
  HWND hwnd =
      createControl(container, at, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0, caption, false);
  return adopt<Win32CheckBox>(hwnd, container, Procedure{});
}

CommandButton& Win32Toolkit::addCommandButton(Frame* container, const Twips& at,
                                              const std::string& caption, Procedure onClick) {
  HWND hwnd =
      createControl(container, at, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, caption, false);
  return adopt<Win32CommandButton>(hwnd, container, std::move(onClick));
}

void Win32Toolkit::nameAfterText(OptionButton& option, const std::string& prefix, TextBox& box) {
  auto* named = dynamic_cast<Win32OptionButton*>(&option);
  auto* from = dynamic_cast<Win32TextBox*>(&box);
  if (named == nullptr || from == nullptr)
    throw std::logic_error("names come from controls of this toolkit");
  named->annotate([&](Annotation& annotation) {
    annotation.namePrefix = toWide(prefix);
    annotation.nameFrom = from->hwnd();
  });
  from->names(named->hwnd());
}

void Win32Toolkit::describeWhileShown(OptionButton& option, Label& marker) {
  auto* described = dynamic_cast<Win32OptionButton*>(&option);
  auto* label = dynamic_cast<Win32Label*>(&marker);
  if (described == nullptr || label == nullptr)
    throw std::logic_error("descriptions come from controls of this toolkit");
  described->annotate([&](Annotation& annotation) { annotation.describedBy = label->hwnd(); });
  label->describes(described->hwnd());
}

void Win32Toolkit::clearOthers(const Control* container, const Control* selected) {
  for (const auto& control : controls_) {
    if (control.get() == selected || control->container() != container) continue;
    if (auto* option = dynamic_cast<Win32OptionButton*>(control.get()))
      SendMessageW(option->hwnd(), BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

void Win32Toolkit::close() {
  if (window_ != nullptr) DestroyWindow(window_);  // WM_DESTROY posts the quit message
}

int Win32Toolkit::run(const Procedure& onLoad) {
  ui::runEvent(onLoad);
  if (ui::ended() || window_ == nullptr) {
    if (window_ != nullptr) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
      window_ = nullptr;
    }
    return 0;
  }
  ShowWindow(window_, SW_SHOWDEFAULT);
  UpdateWindow(window_);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK Win32Toolkit::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);

  switch (message) {
    case WM_COMMAND:
      if ((HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == EN_CHANGE) && lParam != 0) {
        auto* control = reinterpret_cast<Win32Control*>(
            GetWindowLongPtrW(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
        if (control == nullptr) return 0;
        if (HIWORD(wParam) == BN_CLICKED)
          control->clicked();
        else
          control->changed();
      }
      return 0;
    case DM_GETDEFID: {
      // Enter presses the push button that has the focus, as in a dialog. With the focus
      // anywhere else no button is the default: the dialog manager's IDOK then comes without a
      // control and presses nothing, and Esc's IDCANCEL neither.
      HWND focus = GetFocus();
      auto* control = focus != nullptr && IsChild(hwnd, focus)
                          ? reinterpret_cast<Win32Control*>(GetWindowLongPtrW(focus, GWLP_USERDATA))
                          : nullptr;
      if (dynamic_cast<Win32CommandButton*>(control) == nullptr) return 0;
      return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd, focus)) self->focus_ = focus;
      }
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETFOCUS:
      // The keyboard goes back to the control that had it, or to the first in tab order.
      if (self->focus_ != nullptr && IsWindow(self->focus_) && IsWindowEnabled(self->focus_))
        SetFocus(self->focus_);
      else if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE))
        SetFocus(first);
      return 0;
    case WM_DESTROY:
      self->window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace ui::win32

namespace ui {

std::unique_ptr<Toolkit> makeToolkit(int& /*argc*/, char** /*argv*/) {
  ui::setHostUnlessSet(
      Host{[](const std::string& prompt, int style, const std::string& title) {
             using win32::activeToolkit;
             HWND owner = activeToolkit != nullptr ? activeToolkit->window() : nullptr;
             const UINT type = style == kCritical ? MB_ICONSTOP | MB_OK : MB_OK;
             return MessageBoxW(owner, platform::win32::toWide(prompt).c_str(),
                                platform::win32::toWide(title).c_str(), type);
           },
           [] {
             if (win32::activeToolkit != nullptr && win32::activeToolkit->window() != nullptr)
               win32::activeToolkit->close();
             else
               PostQuitMessage(0);
           }});
  auto toolkit = std::make_unique<win32::Win32Toolkit>();
  win32::activeToolkit = toolkit.get();
  return toolkit;
}

}  // namespace ui
