#include "ui/win32/AccessibleOption.h"

#include <commctrl.h>
#include <oleacc.h>

#include <optional>
#include <utility>

#include "ui/Controls.h"

namespace ui::win32 {
namespace {

// The interface id through the compiler: MinGW-w64's import library for oleacc.dll binds the
// IID_IAccessible symbol to an import entry, not to the id itself.
const IID& kIAccessible = __uuidof(IAccessible);

std::wstring windowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

bool isSelf(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT answer(const std::optional<std::wstring>& text, BSTR* out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (!text || text->empty()) return S_FALSE;  // MSAA: the property is empty
  *out = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The standard object with the annotation's name and description. Every other call goes to the
// standard object as it is.
class Annotated final : public IAccessible {
 public:
  Annotated(IAccessible* standard, Annotation annotation)
      : standard_(standard), annotation_(std::move(annotation)) {}
  Annotated(const Annotated&) = delete;
  Annotated& operator=(const Annotated&) = delete;

  // IUnknown. Interfaces other than these (IOleWindow, IEnumVARIANT, IServiceProvider) are the
  // standard object's.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return standard_->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // The two annotated properties.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!isSelf(child) || annotation_.nameFrom == nullptr)
      return standard_->get_accName(child, name);
    return answer(annotation_.namePrefix + windowText(annotation_.nameFrom), name);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (!isSelf(child) || annotation_.describedBy == nullptr)
      return standard_->get_accDescription(child, description);
    HWND label = annotation_.describedBy;
    const bool shown = (GetWindowLongW(label, GWL_STYLE) & WS_VISIBLE) != 0;
    return answer(
        shown ? std::optional(shownCaption(std::wstring_view(windowText(label)))) : std::nullopt,
        description);
  }

  // IDispatch and the rest of IAccessible: the standard object's.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return standard_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return standard_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument) override {
    return standard_->Invoke(id, iid, locale, flags, params, result, exception, argument);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return standard_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return standard_->get_accRole(child, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return standard_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return standard_->get_accFocus(focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
    return standard_->accHitTest(left, top, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return standard_->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_->put_accValue(child, value);
  }

 private:
  ~Annotated() { standard_->Release(); }

  IAccessible* const standard_;
  const Annotation annotation_;
  LONG references_ = 1;
};

}  // namespace

LRESULT answerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const Annotation& annotation) {
  // The object id arrives as a 32-bit value in a wider parameter.
  if (static_cast<LONG>(lParam) != OBJID_CLIENT)
    return DefSubclassProc(hwnd, WM_GETOBJECT, wParam, lParam);
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, kIAccessible,
                                       reinterpret_cast<void**>(&standard))) ||
      standard == nullptr)
    return DefSubclassProc(hwnd, WM_GETOBJECT, wParam, lParam);
  auto* annotated = new Annotated(standard, annotation);
  const LRESULT result = LresultFromObject(kIAccessible, wParam, annotated);
  annotated->Release();  // LresultFromObject holds its own reference while the reader takes it
  return result;
}

}  // namespace ui::win32
