// Variant: a VARIANT that owns its value and clears it when it goes out of
// scope, in the manner of ATL's CComVariant. It derives from VARIANT and adds
// no data, so that `&v` is a VARIANT* for any automation call. Header-only:
// the DLL and its test client share it.
#ifndef KESTLE_COMPONENT_COM_VARIANT_H_
#define KESTLE_COMPONENT_COM_VARIANT_H_

#include <new>
#include <string>

#include "platform/windows_headers.h"

namespace kestle::com {

class Variant : public VARIANT {
 public:
  Variant() noexcept : VARIANT() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  // Moves the value; `other` is left empty.
  Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(this);
      *static_cast<VARIANT*>(this) = other;
      VariantInit(&other);
    }
    return *this;
  }

  // A text; throws std::bad_alloc when the BSTR cannot be made.
  static Variant Text(const std::wstring& text) {
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value == nullptr) throw std::bad_alloc();
    return Typed(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = value; });
  }
  static Variant Long(LONG value) {
    return Typed(VT_I4, [&](VARIANT& v) { V_I4(&v) = value; });
  }
  static Variant Date(DATE value) {
    return Typed(VT_DATE, [&](VARIANT& v) { V_DATE(&v) = value; });
  }
  // An object (null: Nothing); takes a reference of its own.
  static Variant Object(IDispatch* object) {
    if (object != nullptr) object->AddRef();
    return Typed(VT_DISPATCH, [&](VARIANT& v) { V_DISPATCH(&v) = object; });
  }
  // VT_BYREF | `type` to the caller's value at `target` (not owned).
  static Variant Ref(VARTYPE type, void* target) {
    return Typed(VT_BYREF | type, [&](VARIANT& v) { V_BYREF(&v) = target; });
  }
  // An optional argument left out.
  static Variant Omitted() {
    return Typed(VT_ERROR, [](VARIANT& v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; });
  }

  // Clears the value and returns the variant for a call to fill in.
  VARIANT* Reset() noexcept {
    VariantClear(this);
    return this;
  }
  // Hands the value over to `target` (which must hold no value) and leaves
  // this variant empty.
  void Detach(VARIANT* target) noexcept {
    *target = *this;
    VariantInit(this);
  }

 private:
  template <class Fill>
  static Variant Typed(VARTYPE type, Fill fill) {
    Variant v;
    V_VT(&v) = type;
    fill(v);
    return v;
  }
};

static_assert(sizeof(Variant) == sizeof(VARIANT), "a Variant is a VARIANT and nothing more");

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_VARIANT_H_
