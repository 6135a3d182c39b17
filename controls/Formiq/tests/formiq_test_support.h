// What the editor control's tests share: an attribute collection with attributes of four scopes, reading and
// setting a value as text, and finding a row's combo in the control by its label.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"

#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <string>

namespace formiqtest {

// Connection:SimulationFile "", Connection:Timeout 2000 (a number), Device:Range "10", Socket:Mode "auto".
inline vr::ComPtr<IVrAttributeCollection> MakeCollection() {
    vr::ComPtr<IVrAttributeCollection> collection;
    EXPECT_EQ(CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IVrAttributeCollection, collection.PutVoid()),
              S_OK);
    const std::pair<const char*, _variant_t> attributes[] = {{"Connection:SimulationFile", _variant_t("")},
                                                             {"Connection:Timeout", _variant_t(2000L)},
                                                             {"Device:Range", _variant_t("10")},
                                                             {"Socket:Mode", _variant_t("auto")}};
    for (const auto& [name, value] : attributes) {
        EXPECT_EQ(collection->AddAttribute(_bstr_t(name), value), S_OK) << name;
    }
    return collection;
}

inline std::string ValueOf(IVrAttributeCollection* collection, const char* name) {
    _variant_t value;
    _variant_t text;
    if (FAILED(collection->GetAttribute(_bstr_t(name), &value)) ||
        FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
        return "<failed>";
    }
    return vr::BstrToUtf8(text.bstrVal);
}

inline void SetValue(IVrAttributeCollection* collection, const char* name, const char* text) {
    EXPECT_EQ(collection->SetAttribute(_bstr_t(name), _variant_t(text)), S_OK) << name;
}

// The value combo of the row whose label shows name.
inline QComboBox* RowCombo(QWidget* control, const QString& name) {
    for (QLabel* label : control->findChildren<QLabel*>()) {
        if (label->text() == name) {
            return label->parentWidget()->findChild<QComboBox*>();
        }
    }
    return nullptr;
}

} // namespace formiqtest
