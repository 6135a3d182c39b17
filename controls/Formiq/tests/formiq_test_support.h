// What the editor control's tests share: an attribute collection of the Tabrisk server with a few added
// attributes of four scopes, and reading one value back as text.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <string>

namespace formiqtest {

// Connection:SimulationFile "", Connection:Timeout 2000, Device:Range "10", Socket:Mode "auto".
inline vr::ComPtr<IVrAttributeCollection> MakeCollection() {
    vr::ComPtr<IVrAttributeCollection> collection;
    EXPECT_EQ(CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IVrAttributeCollection, collection.PutVoid()),
              S_OK);
    auto add = [&](const char* name, VARIANT value) {
        BSTR text = vr::AllocBstrUtf8(name);
        EXPECT_EQ(collection->AddAttribute(text, value), S_OK) << name;
        SysFreeString(text);
        (void)VariantClear(&value); // the collection keeps its own copy
    };
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstrUtf8("");
    add("Connection:SimulationFile", value);
    value.vt = VT_I4;
    value.lVal = 2000;
    add("Connection:Timeout", value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstrUtf8("10");
    add("Device:Range", value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstrUtf8("auto");
    add("Socket:Mode", value);
    return collection;
}

inline std::string ValueOf(IVrAttributeCollection* collection, const char* name) {
    BSTR text = vr::AllocBstrUtf8(name);
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = collection->GetAttribute(text, &value);
    SysFreeString(text);
    VARIANT shown;
    VariantInit(&shown);
    std::string result = "<failed>";
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&shown, &value, 0, VT_BSTR))) {
        result = vr::BstrToUtf8(shown.bstrVal);
    }
    (void)VariantClear(&shown); // test values: nothing to report
    (void)VariantClear(&value);
    return result;
}

inline void SetValue(IVrAttributeCollection* collection, const char* name, const char* text) {
    BSTR bname = vr::AllocBstrUtf8(name);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstrUtf8(text);
    EXPECT_EQ(collection->SetAttribute(bname, value), S_OK) << name;
    (void)VariantClear(&value); // a BSTR: nothing to report
    SysFreeString(bname);
}

} // namespace formiqtest
