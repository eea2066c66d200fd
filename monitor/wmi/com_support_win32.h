#pragma once
// COM plumbing of the WMI operations: one exception type that carries an
// HRESULT, and owners for BSTR and VARIANT. Interface pointers are held in
// Microsoft::WRL::ComPtr, so no path skips a Release.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

namespace qv {

using Microsoft::WRL::ComPtr;

struct ComError {
  HRESULT hr;
};

// A failed WMI call becomes a ComError.
inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw ComError{hr};
}

// A required interface that did not come is E_POINTER.
template <class T>
T* Required(const ComPtr<T>& p) {
  if (!p) throw ComError{E_POINTER};
  return p.Get();
}

class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (value_ == nullptr) throw ComError{E_OUTOFMEMORY};
  }
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return value_; }

 private:
  BSTR value_;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  // Becomes a VT_BSTR holding `text`.
  void AssignText(const std::wstring& text) {
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (b == nullptr) throw ComError{E_OUTOFMEMORY};
    Clear();
    V_VT(&value_) = VT_BSTR;
    V_BSTR(&value_) = b;
  }
  void Clear() {
    VariantClear(&value_);
    VariantInit(&value_);
  }
  VARIANT* Get() { return &value_; }
  const VARIANT* Get() const { return &value_; }
  VARTYPE Type() const { return V_VT(&value_); }
  // For out-parameters: cleared first so nothing held before leaks.
  VARIANT* Out() {
    Clear();
    return &value_;
  }

 private:
  VARIANT value_;
};

// The text of a value, as VariantChangeType to VT_BSTR gives it.
inline std::wstring VariantText(const Variant& value) {
  Variant text;
  ThrowIfFailed(VariantChangeType(text.Get(), const_cast<VARIANT*>(value.Get()), 0, VT_BSTR));
  BSTR b = V_BSTR(text.Get());
  return b == nullptr ? std::wstring() : std::wstring(b, SysStringLen(b));
}

}  // namespace qv
