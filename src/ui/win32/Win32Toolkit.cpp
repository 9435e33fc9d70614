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
// The dialog font's size; its pixels follow the DPI.
constexpr int kFontPoints = 8;
// Twips of a control's width that its caption cannot use: the selection mark and its gap, a push
// button's edges. kNoCaptionTip: the control's caption never gets a tool tip.
constexpr int kMarkMargin = 255;
constexpr int kButtonMargin = 150;
constexpr int kNoCaptionTip = -1;
// The selection mark alone: an option button not twice as wide shows the mark and no caption.
constexpr int kMarkWidth = 195;
// Sent before WM_DPICHANGED to ask for the window's size at the new DPI (Windows 10 1703).
constexpr UINT kGetDpiScaledSize = 0x02E4;
constexpr UINT kDpiChanged = 0x02E0;

// The toolkit whose window the binding's message boxes belong to and whose end ends the program.
Win32Toolkit* activeToolkit = nullptr;

std::string windowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return fromWide(text);
}

// The DPI functions of Windows 10 1607 and later, looked up so the program still starts on
// Windows 7 and 8, where the system DPI of the screen is the only one.
template <class Function>
Function user32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

int windowDpi(HWND hwnd) {
  static const auto getDpiForWindow = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(hwnd); dpi != 0) return static_cast<int>(dpi);
  }
  int dpi = 0;
  if (HDC dc = GetDC(hwnd)) {
    dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hwnd, dc);
  }
  return dpi > 0 ? dpi : 96;
}

// The system's dialog font (MS Shell Dlg) at its 8 points for this DPI.
HFONT dialogFont(int dpi) {
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  font.lfHeight = -MulDiv(kFontPoints, dpi, 72);
  font.lfWidth = 0;
  return CreateFontIndirectW(&font);
}

// The message box icon of a style: the four the program's styles name, or none.
UINT iconFor(int style) {
  switch (style & kIconMask) {
    case kCritical:
      return MB_ICONSTOP;
    case kQuestion:
      return MB_ICONQUESTION;
    case kExclamation:
      return MB_ICONEXCLAMATION;
    case kInformation:
      return MB_ICONINFORMATION;
    default:
      return 0;
  }
}

// What a caption shows.
std::wstring shownText(const std::string& caption) {
  return toWide(shownCaption(std::string_view(caption)));
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
    if (auto* toolkit = owner()) toolkit->fitCaption(*this);
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

  // Where the control sits in the window's client area, in twips, and how much of its width its
  // caption cannot use (kNoCaptionTip: none of its captions gets a tool tip).
  Twips place{};
  int captionMargin = kNoCaptionTip;

 protected:
  // The toolkit whose window holds the control (nullptr while the window is being taken down).
  Win32Toolkit* owner() const {
    return reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(GetParent(hwnd_), GWLP_USERDATA));
  }

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
  // The program's icon is its resource 1; a program without one gets the system's.
  windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(1));
  if (windowClass.hIcon == nullptr)
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // fails harmlessly when a second toolkit registers it again
  INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);  // the tool tips
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
  if (font_ != nullptr) DeleteObject(font_);
}

int Win32Toolkit::pixels(int twips) const {
  return MulDiv(twips, dpi_, kTwipsPerInch);
}

HWND Win32Toolkit::handleOf(const Control& control) {
  const auto* own = dynamic_cast<const Win32Control*>(&control);
  return own != nullptr ? own->hwnd() : nullptr;
}

std::string Win32Toolkit::toolTipOf(const Control& control) const {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(handleOf(control));
  if (toolTips_ == nullptr ||
      !SendMessageW(toolTips_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
    return {};
  std::wstring text(1024, L'\0');  // the longest tool tip text the control keeps
  tool.lpszText = text.data();
  SendMessageW(toolTips_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  text.resize(wcslen(text.c_str()));
  return fromWide(text);
}

void Win32Toolkit::createWindow(const std::string& title, int clientWidth, int clientHeight) {
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  window_ = CreateWindowExW(0, kWindowClass, toWide(title).c_str(), kWindowStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) return;
  toolTips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  RECT at{};
  GetWindowRect(window_, &at);
  changeDpi(windowDpi(window_), {at.left, at.top});
}

SIZE Win32Toolkit::windowSize(int dpi) const {
  RECT frame{0, 0, MulDiv(clientWidth_, dpi, kTwipsPerInch),
             MulDiv(clientHeight_, dpi, kTwipsPerInch)};
  static const auto adjustForDpi =
      user32Function<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (adjustForDpi != nullptr)
    adjustForDpi(&frame, kWindowStyle, FALSE, 0, static_cast<UINT>(dpi));
  else
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void Win32Toolkit::changeDpi(int dpi, POINT topLeft) {
  dpi_ = dpi;
  HFONT old = font_;
  font_ = dialogFont(dpi_);
  SIZE size = windowSize(dpi_);
  SetWindowPos(window_, nullptr, topLeft.x, topLeft.y, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Where the frame did not follow the DPI as AdjustWindowRectExForDpi said (a system without
  // per-monitor frames), the client area decides: the window grows or shrinks by the difference.
  RECT client{};
  GetClientRect(window_, &client);
  const int missingX = pixels(clientWidth_) - client.right;
  const int missingY = pixels(clientHeight_) - client.bottom;
  if (missingX != 0 || missingY != 0)
    SetWindowPos(window_, nullptr, 0, 0, size.cx + missingX, size.cy + missingY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& control : controls_) {
    const Twips& place = control->place;
    SetWindowPos(control->hwnd(), nullptr, pixels(place.left), pixels(place.top),
                 pixels(place.width), pixels(place.height), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    fitCaption(*control);
  }
  if (old != nullptr) DeleteObject(old);
}

void Win32Toolkit::fitCaption(const Win32Control& control) {
  if (toolTips_ == nullptr || control.captionMargin == kNoCaptionTip) return;
  std::wstring shown = shownText(control.caption());
  SIZE extent{};
  if (HDC dc = GetDC(control.hwnd())) {
    HGDIOBJ previous = SelectObject(dc, font_);
    GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(control.hwnd(), dc);
  }
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(control.hwnd());
  SendMessageW(toolTips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (extent.cx > pixels(control.place.width - control.captionMargin)) {
    tool.lpszText = shown.data();
    SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

Twips Win32Toolkit::placeIn(const Frame* container, const Twips& at) {
  if (container == nullptr) return at;
  const Twips& origin = dynamic_cast<const Win32Frame&>(*container).origin();
  return {at.left + origin.left, at.top + origin.top, at.width, at.height};
}

HWND Win32Toolkit::createControl(const Frame* container, const Twips& place,
                                 const wchar_t* className, DWORD style, DWORD exStyle,
                                 const std::string& text) {
  // A group starts at every control of the window and at the first control of each frame.
  if (container == nullptr || container != lastContainer_) style |= WS_GROUP;
  lastContainer_ = container;

  const int id = kFirstControlId + static_cast<int>(controls_.size());
  HWND hwnd = CreateWindowExW(
      exStyle, className, toWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, pixels(place.left),
      pixels(place.top), pixels(place.width), pixels(place.height), window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return hwnd;
}

template <class T, class... Args>
T& Win32Toolkit::adopt(const Twips& place, int captionMargin, Args&&... args) {
  auto control = std::make_unique<T>(std::forward<Args>(args)...);
  T& made = *control;
  made.place = place;
  made.captionMargin = captionMargin;
  controls_.push_back(std::move(control));
  fitCaption(made);
  return made;
}

Frame& Win32Toolkit::addFrame(const Twips& at, const std::string& caption) {
  HWND hwnd = createControl(nullptr, at, L"BUTTON", BS_GROUPBOX, 0, caption);
  // A group box takes no mouse, so it could show no tool tip.
  return adopt<Win32Frame>(at, kNoCaptionTip, hwnd, at);
}

OptionButton& Win32Toolkit::addOptionButton(Frame* container, const Twips& at,
                                            const std::string& caption, Procedure onClick) {
  const bool showsText = at.width >= 2 * kMarkWidth;
  const Twips place = placeIn(container, at);
  HWND hwnd = createControl(container, place, L"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, 0,
                            showsText ? caption : std::string());
  auto& option = adopt<Win32OptionButton>(place, showsText ? kMarkMargin : kNoCaptionTip, *this,
                                          hwnd, container, std::move(onClick), showsText);
  option.setCaption(caption);
  return option;
}

TextBox& Win32Toolkit::addTextBox(Frame* container, const Twips& at, const std::string& text) {
  const Twips place = placeIn(container, at);
  HWND hwnd = createControl(container, place, L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP,
                            WS_EX_CLIENTEDGE, text);
  SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no limit but the system's
  return adopt<Win32TextBox>(place, kNoCaptionTip, hwnd, container, Procedure{});
}

Label& Win32Toolkit::addLabel(Frame* container, const Twips& at, const std::string& caption) {
  // SS_NOTIFY: the label takes the mouse, so its tool tip can show.
  const Twips place = placeIn(container, at);
  HWND hwnd = createControl(container, place, L"STATIC", SS_LEFT | SS_NOTIFY, 0, caption);
  return adopt<Win32Label>(place, 0, hwnd, container, Procedure{});
}

CheckBox& Win32Toolkit::addCheckBox(Frame* container, const Twips& at, const std::string& caption) {
  const Twips place = placeIn(container, at);
  HWND hwnd = createControl(container, place, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0, caption);
  return adopt<Win32CheckBox>(place, kMarkMargin, hwnd, container, Procedure{});
}

CommandButton& Win32Toolkit::addCommandButton(Frame* container, const Twips& at,
                                              const std::string& caption, Procedure onClick) {
  const Twips place = placeIn(container, at);
  HWND hwnd = createControl(container, place, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, caption);
  return adopt<Win32CommandButton>(place, kButtonMargin, hwnd, container, std::move(onClick));
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
    case kGetDpiScaledSize: {
      // The size at the new DPI comes from the twips, not from scaling the old size.
      *reinterpret_cast<SIZE*>(lParam) = self->windowSize(LOWORD(wParam));
      return TRUE;
    }
    case kDpiChanged: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      self->changeDpi(HIWORD(wParam), {suggested->left, suggested->top});
      return 0;
    }
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
  ui::setHostUnlessSet(Host{
      [](const std::string& prompt, int style, const std::string& title) {
        using win32::activeToolkit;
        HWND owner = activeToolkit != nullptr ? activeToolkit->window() : nullptr;
        return MessageBoxW(owner, platform::win32::toWide(prompt).c_str(),
                           platform::win32::toWide(title).c_str(), MB_OK | win32::iconFor(style));
      },
      [] {
        if (win32::activeToolkit != nullptr && win32::activeToolkit->window() != nullptr)
          win32::activeToolkit->close();
        else
          PostQuitMessage(0);
      }});
  // The wait cursor shows until it is put back: the window's thread handles no WM_SETCURSOR
  // meanwhile.
  ui::setWaitCursor([](bool shown) {
    static HCURSOR before = nullptr;
    if (shown)
      before = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    else
      SetCursor(before);
  });
  auto toolkit = std::make_unique<win32::Win32Toolkit>();
  win32::activeToolkit = toolkit.get();
  return toolkit;
}

}  // namespace ui
