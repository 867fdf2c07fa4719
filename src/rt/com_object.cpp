#include "rt/com_object.h"

#include <ole2.h>
#include <oleauto.h>

#include <cstring>
#include <functional>
#include <string>

#include "rt/wide.h"

namespace rt {
namespace {

// A BSTR of the text that `pieces` hands to a Widening, converted straight into the string;
// the empty string when the conversion fails.
BSTR MakeBstr(const std::function<void(Widening&)>& pieces) {
  BSTR made = nullptr;
  const bool widened = Widen(pieces, [&](std::size_t units) {
    made = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
    return made;
  });
  if (widened) return made;
  ::SysFreeString(made);
  return ::SysAllocStringLen(nullptr, 0);
}

bool LookUpMember(IDispatch* object, const Text& name, DISPID* id) {
  std::wstring wide = WidenGbk(name);
  LPOLESTR names[] = {wide.data()};
  return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

// Invokes the member with each kind of call in turn until one succeeds. A call that
// raised an exception did run, so it is not repeated as another kind.
bool InvokeByName(const ComObject& o, const Text& name, std::initializer_list<WORD> kinds,
                  ComArgs args, ComVariant* result) {
  IDispatch* object = o.get();
  DISPID member = 0;
  if (object == nullptr || !LookUpMember(object, name, &member)) return false;
  std::vector<VARIANT> reversed(args.size());
  std::size_t i = args.size();
  for (const ComArg& arg : args) reversed[--i] = arg.raw();
  for (WORD kind : kinds) {
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    const bool isPut = kind == DISPATCH_PROPERTYPUT || kind == DISPATCH_PROPERTYPUTREF;
    if (isPut) {
      params.rgdispidNamedArgs = &putId;
      params.cNamedArgs = 1;
    }
    ComVariant out;
    EXCEPINFO exception{};
    UINT argError = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                                      isPut ? nullptr : out.get(), &exception, &argError);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    if (SUCCEEDED(hr)) {
      if (result) *result = std::move(out);
      return true;
    }
    if (hr == DISP_E_EXCEPTION) return false;
  }
  return false;
}

constexpr std::initializer_list<WORD> kCallKinds = {DISPATCH_METHOD, DISPATCH_PROPERTYGET,
                                                    DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF};
constexpr std::initializer_list<WORD> kGetKinds = {DISPATCH_PROPERTYGET, DISPATCH_METHOD};
constexpr std::initializer_list<WORD> kSetKinds = {DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF,
                                                   DISPATCH_METHOD};

double VariantToNumber(const ComVariant& v) {
  ComVariant number;
  if (FAILED(::VariantChangeType(number.get(), const_cast<VARIANT*>(v.get()), 0, VT_R8))) return 0;
  return number.get()->dblVal;
}

ComObject VariantToObject(const ComVariant& v) {
  const VARIANT* raw = v.get();
  IUnknown* unknown = nullptr;
  if (raw->vt == VT_DISPATCH || raw->vt == VT_UNKNOWN) unknown = raw->punkVal;
  if (raw->vt == (VT_DISPATCH | VT_BYREF) || raw->vt == (VT_UNKNOWN | VT_BYREF))
    unknown = *raw->ppunkVal;
  IDispatch* object = nullptr;
  if (unknown) unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object));
  return ComObject(object);
}

}  // namespace

ComObject::ComObject(const ComObject& other) : ptr_(other.ptr_) {
  if (ptr_) ptr_->AddRef();
}

ComObject& ComObject::operator=(const ComObject& other) {
  // Taken before reset(): `other` may be this very variable.
  IDispatch* incoming = other.ptr_;
  if (incoming) incoming->AddRef();
  reset();
  ptr_ = incoming;
  return *this;
}

ComObject& ComObject::operator=(ComObject&& other) noexcept {
  if (this != &other) {
    reset();
    ptr_ = other.ptr_;
    other.ptr_ = nullptr;
  }
  return *this;
}

void ComObject::reset() {
  if (ptr_) ptr_->Release();
  ptr_ = nullptr;
}

ComVariant::ComVariant(const ComVariant& other) {
  ::VariantInit(&v_);
  ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

ComVariant& ComVariant::operator=(const ComVariant& other) {
  if (this != &other) ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  return *this;
}

ComVariant::ComVariant(ComVariant&& other) noexcept : v_(other.v_) { ::VariantInit(&other.v_); }

ComVariant& ComVariant::operator=(ComVariant&& other) noexcept {
  if (this != &other) {
    ::VariantClear(&v_);
    v_ = other.v_;
    ::VariantInit(&other.v_);
  }
  return *this;
}

ComArg::ComArg(const Text& v) { VariantSet(value_, v); }
ComArg::ComArg(int v) { VariantSet(value_, v); }
ComArg::ComArg(double v) { VariantSet(value_, v); }
ComArg::ComArg(bool v) { VariantSet(value_, v); }

ComArg ComArg::ByRef(ComVariant& v) {
  ComArg arg;
  arg.reference_ = v.get();
  return arg;
}

VARIANT ComArg::raw() const {
  if (reference_ == nullptr) return *value_.get();
  VARIANT byRef;
  ::VariantInit(&byRef);
  byRef.vt = VT_VARIANT | VT_BYREF;
  byRef.pvarVal = reference_;
  return byRef;
}

bool CreateComObject(ComObject& o, const Text& progId) {
  o.reset();
  const std::wstring name = WidenGbk(progId);
  CLSID clsid;
  const HRESULT found = name.size() > 0 && name[0] == L'{'
                            ? ::CLSIDFromString(name.c_str(), &clsid)
                            : ::CLSIDFromProgID(name.c_str(), &clsid);
  if (FAILED(found)) return false;
  IDispatch* object = nullptr;
  HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IDispatch, reinterpret_cast<void**>(&object));
  if (hr == E_INVALIDARG)
    hr = ::CoCreateInstance(clsid, nullptr,
                            CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                            IID_IDispatch, reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) return false;
  ::OleRun(object);
  o = ComObject(object);
  return true;
}

bool ComSetProperty(const ComObject& o, const Text& name, ComArg value) {
  return InvokeByName(o, name, kSetKinds, {value}, nullptr);
}

void ComCallMethod(const ComObject& o, const Text& name, ComArgs args) {
  InvokeByName(o, name, kCallKinds, args, nullptr);
}

Text ComCallTextMethod(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToText(ComCallVariantMethod(o, name, args));
}

ComVariant ComCallVariantMethod(const ComObject& o, const Text& name, ComArgs args) {
  ComVariant result;
  InvokeByName(o, name, kCallKinds, args, &result);
  return result;
}

double ComCallNumberMethod(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToNumber(ComCallVariantMethod(o, name, args));
}

ComObject ComCallObjectMethod(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToObject(ComCallVariantMethod(o, name, args));
}

Text ComGetTextProperty(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToText(ComGetVariantProperty(o, name, args));
}

double ComGetNumberProperty(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToNumber(ComGetVariantProperty(o, name, args));
}

ComObject ComGetObjectProperty(const ComObject& o, const Text& name, ComArgs args) {
  return VariantToObject(ComGetVariantProperty(o, name, args));
}

ComVariant ComGetVariantProperty(const ComObject& o, const Text& name, ComArgs args) {
  ComVariant result;
  InvokeByName(o, name, kGetKinds, args, &result);
  return result;
}

void VariantSet(ComVariant& v, const Text& value) {
  v = StringVariant([&](Widening& w) { w.Append(value.str()); });
}

ComVariant StringVariant(const std::function<void(Widening&)>& pieces) {
  ComVariant v;
  VARIANT* raw = v.put();
  raw->vt = VT_BSTR;
  raw->bstrVal = MakeBstr(pieces);
  return v;
}

void VariantSet(ComVariant& v, bool value) {
  VARIANT* raw = v.put();
  raw->vt = VT_BOOL;
  raw->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void VariantSet(ComVariant& v, int value) {
  VARIANT* raw = v.put();
  raw->vt = VT_I4;
  raw->lVal = value;
}

void VariantSet(ComVariant& v, double value) {
  VARIANT* raw = v.put();
  raw->vt = VT_R8;
  raw->dblVal = value;
}

void VariantSet(ComVariant& v, const ByteSet& value) {
  VARIANT* raw = v.put();
  SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(value.size()));
  if (array == nullptr) return;
  void* data = nullptr;
  if (SUCCEEDED(::SafeArrayAccessData(array, &data))) {
    if (!value.empty()) std::memcpy(data, value.data(), value.str().size());
    ::SafeArrayUnaccessData(array);
  }
  raw->vt = VT_ARRAY | VT_UI1;
  raw->parray = array;
}

void VariantSetEmptyArray(ComVariant& v) {
  VARIANT* raw = v.put();
  SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
  if (array == nullptr) return;
  raw->vt = VT_ARRAY | VT_VARIANT;
  raw->parray = array;
}

Text VariantToText(const ComVariant& v) {
  // A string is read where it stands rather than copied first.
  if (v.get()->vt == VT_BSTR)
    return NarrowToGbk(v.get()->bstrVal, static_cast<int>(::SysStringLen(v.get()->bstrVal)));
  ComVariant text;
  if (FAILED(::VariantChangeType(text.get(), const_cast<VARIANT*>(v.get()), 0, VT_BSTR)))
    return Text();
  const BSTR bstr = text.get()->bstrVal;
  return NarrowToGbk(bstr, static_cast<int>(::SysStringLen(bstr)));
}

void VariantRelease(ComVariant& v) { v.put(); }

void VariantAssign(ComVariant& dst, const ComVariant& src) { dst = src; }

void ObjectClear(ComObject& o) { o.reset(); }

bool ObjectIsEmpty(const ComObject& o) { return o.get() == nullptr; }

void ObjectAssign(ComObject& dst, const ComObject& src) { dst = src; }

}  // namespace rt
