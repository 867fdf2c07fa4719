#include "rt/com_object.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "rt/wide.h"

namespace rt {
namespace {

// The number of references an object holds, read without changing it.
ULONG References(const ComObject& o) {
  o.get()->AddRef();
  return o.get()->Release();
}

class ComObjectTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ASSERT_TRUE(CreateComObject(dictionary_, "Scripting.Dictionary"));
  }
  void TearDown() override {
    ObjectClear(dictionary_);
    ::CoUninitialize();
  }

  ComObject dictionary_;
};

TEST_F(ComObjectTest, CreatesByProgIdAndByClassIdentifier) {
  EXPECT_FALSE(ObjectIsEmpty(dictionary_));
  CLSID clsid;
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"Scripting.Dictionary", &clsid)));
  wchar_t braced[64] = {};
  ASSERT_GT(::StringFromGUID2(clsid, braced, 64), 0);
  ComObject byClsid;
  ASSERT_TRUE(CreateComObject(byClsid, NarrowToGbk(braced)));
  ComCallMethod(byClsid, "Add", {"k", 1});
  EXPECT_EQ(ComGetNumberProperty(byClsid, "Count"), 1);

  ComObject regex;
  EXPECT_TRUE(CreateComObject(regex, "VBScript.RegExp"));
  EXPECT_FALSE(ObjectIsEmpty(regex));
}

TEST_F(ComObjectTest, CreatingReplacesWhatTheVariableHeld) {
  ComObject kept;
  ObjectAssign(kept, dictionary_);
  EXPECT_EQ(References(kept), 2u);
  ASSERT_TRUE(CreateComObject(dictionary_, "Scripting.Dictionary"));
  EXPECT_NE(dictionary_.get(), kept.get());
  EXPECT_EQ(References(kept), 1u);

  EXPECT_FALSE(CreateComObject(dictionary_, "Lumivox.NoSuchObject"));
  EXPECT_TRUE(ObjectIsEmpty(dictionary_));
  EXPECT_FALSE(CreateComObject(dictionary_, "{00000000-0000-0000-0000-00000000BEEF}"));
  EXPECT_FALSE(CreateComObject(dictionary_, "{not a class}"));
  EXPECT_FALSE(CreateComObject(dictionary_, ""));
}

TEST_F(ComObjectTest, PropertiesAndMethodsWithArguments) {
  EXPECT_TRUE(ComSetProperty(dictionary_, "CompareMode", 1));  // text comparison
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "CompareMode"), 1);
  ComCallMethod(dictionary_, "Add", {"Key", 42});
  ComCallMethod(dictionary_, "Add", {"other", 2.5});
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Count"), 2);
  // A true result arrives as the automation boolean -1.
  EXPECT_EQ(ComCallNumberMethod(dictionary_, "Exists", {"KEY"}), -1);
  EXPECT_EQ(ComCallNumberMethod(dictionary_, "Exists", {"none"}), 0);
  // Item is a property: a method call falls back to reading it.
  EXPECT_EQ(ComCallTextMethod(dictionary_, "Item", {"key"}), Text("42"));
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Item", {"other"}), 2.5);
  ComCallMethod(dictionary_, "Remove", {"Key"});
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Count"), 1);
}

TEST_F(ComObjectTest, TextsCrossAsWideStringsFromGbk) {
  ComCallMethod(dictionary_, "Add", {"键", "中文值"});
  EXPECT_EQ(ComGetTextProperty(dictionary_, "Item", {"键"}), Text("中文值"));
  const ComVariant raw = ComGetVariantProperty(dictionary_, "Item", {"键"});
  ASSERT_EQ(raw.get()->vt, VT_BSTR);
  EXPECT_EQ(std::wstring(raw.get()->bstrVal), L"\u4E2D\u6587\u503C");
}

TEST_F(ComObjectTest, RegularExpressionObjectReturnsObjectsAndTexts) {
  ComObject regex;
  ASSERT_TRUE(CreateComObject(regex, "VBScript.RegExp"));
  EXPECT_TRUE(ComSetProperty(regex, "Pattern", "(\\d+)-(\\d+)"));
  EXPECT_TRUE(ComSetProperty(regex, "Global", true));
  EXPECT_EQ(ComGetTextProperty(regex, "Pattern"), Text("(\\d+)-(\\d+)"));
  EXPECT_EQ(ComCallNumberMethod(regex, "Test", {"a 12-34"}), -1);
  EXPECT_EQ(ComCallTextMethod(regex, "Replace", {"12-34 和 5-6", "$2+$1"}), Text("34+12 和 6+5"));

  ComObject matches = ComCallObjectMethod(regex, "Execute", {"12-34 5-6"});
  ASSERT_FALSE(ObjectIsEmpty(matches));
  EXPECT_EQ(References(matches), 1u);
  EXPECT_EQ(ComGetNumberProperty(matches, "Count"), 2);
  ComObject second = ComGetObjectProperty(matches, "Item", {1});
  EXPECT_EQ(ComGetTextProperty(second, "Value"), Text("5-6"));
  ComObject groups = ComGetObjectProperty(second, "SubMatches");
  EXPECT_EQ(ComGetTextProperty(groups, "Item", {0}), Text("5"));

  EXPECT_TRUE(ComSetProperty(regex, "Pattern", "文+"));
  EXPECT_EQ(ComCallTextMethod(regex, "Replace", {"中文文字", "-"}), Text("中-字"));
}

TEST_F(ComObjectTest, FailedCallsAndEmptyObjectsGiveTheDefaults) {
  ComObject none;
  EXPECT_TRUE(ObjectIsEmpty(none));
  EXPECT_FALSE(ComSetProperty(none, "CompareMode", 1));
  ComCallMethod(none, "Add", {"k", 1});
  EXPECT_EQ(ComCallTextMethod(none, "Item", {"k"}), Text());
  EXPECT_EQ(ComCallNumberMethod(none, "Count"), 0);
  EXPECT_TRUE(ObjectIsEmpty(ComCallObjectMethod(none, "Keys")));
  EXPECT_EQ(ComGetTextProperty(none, "Count"), Text());
  EXPECT_EQ(ComGetNumberProperty(none, "Count"), 0);
  EXPECT_TRUE(ObjectIsEmpty(ComGetObjectProperty(none, "Keys")));
  EXPECT_EQ(ComGetVariantProperty(none, "Count").get()->vt, VT_EMPTY);

  EXPECT_FALSE(ComSetProperty(dictionary_, "NoSuchMember", 1));
  EXPECT_EQ(ComCallTextMethod(dictionary_, "NoSuchMember", {1}), Text());
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "NoSuchMember"), 0);
  EXPECT_TRUE(ObjectIsEmpty(ComGetObjectProperty(dictionary_, "NoSuchMember")));
  // A member that raises (a duplicate key) is reported to nobody and changes nothing.
  ComCallMethod(dictionary_, "Add", {"k", 1});
  ComCallMethod(dictionary_, "Add", {"k", 2});
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Count"), 1);
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Item", {"k"}), 1);
  // A property that cannot be read as an object gives the empty object.
  EXPECT_TRUE(ObjectIsEmpty(ComGetObjectProperty(dictionary_, "Count")));
}

TEST_F(ComObjectTest, VariantSetStoresEachKindAsItsOwnType) {
  ComVariant v;
  VariantSet(v, Text("文"));
  EXPECT_EQ(v.get()->vt, VT_BSTR);
  EXPECT_EQ(std::wstring(v.get()->bstrVal), L"\u6587");
  VariantSet(v, true);
  EXPECT_EQ(v.get()->vt, VT_BOOL);
  EXPECT_EQ(v.get()->boolVal, VARIANT_TRUE);
  VariantSet(v, 7);
  EXPECT_EQ(v.get()->vt, VT_I4);
  VariantSet(v, 0.25);
  EXPECT_EQ(v.get()->vt, VT_R8);

  VariantSet(v, ByteSet("a\0b", 3));
  ASSERT_EQ(v.get()->vt, VT_ARRAY | VT_UI1);
  SAFEARRAY* array = v.get()->parray;
  EXPECT_EQ(::SafeArrayGetDim(array), 1u);
  LONG lower = -1, upper = -1;
  ::SafeArrayGetLBound(array, 1, &lower);
  ::SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 2);
  void* data = nullptr;
  ASSERT_TRUE(SUCCEEDED(::SafeArrayAccessData(array, &data)));
  EXPECT_EQ(std::string(static_cast<const char*>(data), 3), std::string("a\0b", 3));
  ::SafeArrayUnaccessData(array);

  // The byte array travels through an object and back unchanged.
  ComCallMethod(dictionary_, "Add", {"bytes", v});
  const ComVariant back = ComGetVariantProperty(dictionary_, "Item", {"bytes"});
  ASSERT_EQ(back.get()->vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(back.get()->parray->rgsabound[0].cElements, 3u);

  VariantSet(v, ByteSet());
  ASSERT_EQ(v.get()->vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(v.get()->parray->rgsabound[0].cElements, 0u);
}

TEST_F(ComObjectTest, VariantToTextReleaseAndAssign) {
  ComVariant v;
  EXPECT_EQ(VariantToText(v), Text());  // empty
  VariantSet(v, false);
  EXPECT_EQ(VariantToText(v), Text("0"));
  VariantSet(v, 0);
  EXPECT_EQ(VariantToText(v), Text("0"));
  VariantSet(v, -12);
  EXPECT_EQ(VariantToText(v), Text("-12"));
  VariantSet(v, Text("中文"));
  EXPECT_EQ(VariantToText(v), Text("中文"));

  ComVariant copy;
  VariantAssign(copy, v);
  VariantSet(v, 5);
  EXPECT_EQ(VariantToText(copy), Text("中文"));
  VariantRelease(copy);
  EXPECT_EQ(copy.get()->vt, VT_EMPTY);
  EXPECT_EQ(VariantToText(copy), Text());
}

TEST_F(ComObjectTest, ObjectAssignSharesAndObjectClearReleases) {
  ComObject other;
  ObjectAssign(other, dictionary_);
  EXPECT_EQ(other.get(), dictionary_.get());
  EXPECT_EQ(References(dictionary_), 2u);
  ComCallMethod(other, "Add", {"k", 1});
  EXPECT_EQ(ComGetNumberProperty(dictionary_, "Count"), 1);

  ObjectAssign(other, other);  // assigning an object to its own variable keeps it
  EXPECT_EQ(References(dictionary_), 2u);

  ObjectClear(dictionary_);
  EXPECT_TRUE(ObjectIsEmpty(dictionary_));
  EXPECT_EQ(References(other), 1u);
  EXPECT_EQ(ComGetNumberProperty(other, "Count"), 1);

  ObjectAssign(other, ComObject());
  EXPECT_TRUE(ObjectIsEmpty(other));
  ObjectClear(other);  // clearing an empty variable is harmless
  EXPECT_TRUE(ObjectIsEmpty(other));
}

}  // namespace
}  // namespace rt
