// Automation objects driven by member name. Texts cross as UTF-16 converted from
// code page 936. Nothing raises: a failed call, or one on an empty object, yields the
// default result (empty text, 0, empty object or variant, false).
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <oaidl.h>

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "rt/text.h"
#include "rt/wide.h"

namespace rt {

// One reference to an IDispatch interface, or nothing. Copies add a reference.
class ComObject {
public:
  ComObject() = default;
  explicit ComObject(IDispatch* adopted) : ptr_(adopted) {}
  ComObject(const ComObject& other);
  ComObject& operator=(const ComObject& other);
  ComObject(ComObject&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ComObject& operator=(ComObject&& other) noexcept;
  ~ComObject() { reset(); }

  IDispatch* get() const { return ptr_; }
  void reset();

private:
  IDispatch* ptr_ = nullptr;
};

// An automation VARIANT value, cleared when it goes out of scope.
class ComVariant {
public:
  ComVariant() { VariantInit(&v_); }
  ComVariant(const ComVariant& other);
  ComVariant& operator=(const ComVariant& other);
  ComVariant(ComVariant&& other) noexcept;
  ComVariant& operator=(ComVariant&& other) noexcept;
  ~ComVariant() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  // Clears the value and hands out its address for an out-parameter.
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }

private:
  VARIANT v_;
};

// One argument of a call by name: a value, or the caller's variant passed by reference.
class ComArg {
public:
  ComArg(const Text& v);
  ComArg(const char* v) : ComArg(Text(v)) {}
  ComArg(int v);
  ComArg(double v);
  ComArg(bool v);
  ComArg(const ComVariant& v) : value_(v) {}
  // Takes the value over: a string of megabytes is not copied for the call.
  ComArg(ComVariant&& v) : value_(std::move(v)) {}
  static ComArg ByRef(ComVariant& v);

  // The VARIANT handed to IDispatch::Invoke: a shallow view that the call does not own.
  VARIANT raw() const;

private:
  ComArg() = default;
  ComVariant value_;
  VARIANT* reference_ = nullptr;
};

using ComArgs = std::initializer_list<ComArg>;

bool CreateComObject(ComObject& o, const Text& progId);
bool ComSetProperty(const ComObject& o, const Text& name, ComArg value);

void ComCallMethod(const ComObject& o, const Text& name, ComArgs args = {});
Text ComCallTextMethod(const ComObject& o, const Text& name, ComArgs args = {});
double ComCallNumberMethod(const ComObject& o, const Text& name, ComArgs args = {});
ComObject ComCallObjectMethod(const ComObject& o, const Text& name, ComArgs args = {});
// The result as it came, for a caller that converts it after releasing the object.
ComVariant ComCallVariantMethod(const ComObject& o, const Text& name, ComArgs args = {});

Text ComGetTextProperty(const ComObject& o, const Text& name, ComArgs args = {});
double ComGetNumberProperty(const ComObject& o, const Text& name, ComArgs args = {});
ComObject ComGetObjectProperty(const ComObject& o, const Text& name, ComArgs args = {});
ComVariant ComGetVariantProperty(const ComObject& o, const Text& name, ComArgs args = {});

void VariantSet(ComVariant& v, const Text& value);
// A string variant of the text that `pieces` hands over piece by piece, converted straight into
// the string: a text of megabytes that the caller never has to make whole in code page 936.
// `pieces` runs twice, to count and to write, and must hand over the same pieces both times.
ComVariant StringVariant(const std::function<void(Widening&)>& pieces);
void VariantSet(ComVariant& v, bool value);
void VariantSet(ComVariant& v, int value);
void VariantSet(ComVariant& v, double value);
void VariantSet(ComVariant& v, const ByteSet& value);
// A one-dimensional array of no variants (an empty parameter list).
void VariantSetEmptyArray(ComVariant& v);
Text VariantToText(const ComVariant& v);
void VariantRelease(ComVariant& v);
void VariantAssign(ComVariant& dst, const ComVariant& src);

void ObjectClear(ComObject& o);
bool ObjectIsEmpty(const ComObject& o);
void ObjectAssign(ComObject& dst, const ComObject& src);

}  // namespace rt
