// Persistence of attribute values under HKEY_CURRENT_USER\<REGISTRYROOTKEY>.
#include "attributes/AttributeCollection.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace tabrisk {

HRESULT CAttributeCollection::ReadFromRegistry(const AttributeRecord& record, Variant* candidate,
                                               bool* read) {
    *read = false;
    if (!registryKey_.IsOpen() || (record.persistentMode & VR_PERSISTENT_READ) == 0) {
        return S_OK;
    }
    Variant value;
    if (FAILED(value.CopyFrom(candidate->Get()))) {
        return TraceInternalError();
    }
    SetTraceSite();
    if (!registryKey_.Read(record.qName, &value.Get())) {
        TraceInfo(u"Couldn't read the '%s' object attribute from the Registry.", record.qName.c_str());
        return S_OK;
    }
    TraceInfo(u"Read from Registry: '%s' object attribute = '%s'.", record.qName.c_str(),
              TypedText(value.Get()).c_str());
    *candidate = std::move(value);
    *read = true;
    return S_OK;
}

HRESULT CAttributeCollection::OpenRegistryKey(const AttributeRecord& record) {
    const VARIANT& value = record.value.Get();
    if (value.vt != VT_BSTR) {
        SetTraceSite();
        TraceInfo(u"WARNING: '%s' object attribute isn't a String, but '%s'.", record.qName.c_str(),
                  TypedText(value).c_str());
        return S_OK;
    }
    std::u16string subKey(vr::BstrView(value.bstrVal));
    if (!registryKey_.Open(subKey)) {
        SetTraceSite();
        TraceError(u"Couldn't create Registry Key '%s'.", subKey.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CAttributeCollection::RegistrySaveWork() {
    if (!registryKey_.IsOpen()) {
        return S_OK;
    }
    for (const auto& [key, record] : attributes_) {
        // Only values that exist are persisted: an attribute that never received one would come back as an
        // empty text that its type or schema may refuse on the next load.
        if ((record.persistentMode & VR_PERSISTENT_WRITE) == 0 || record.valueIsEmpty) {
            continue;
        }
        SetTraceSite();
        if (registryKey_.Write(record.qName, record.value.Get())) {
            TraceInfo(u"Write to Registry: '%s' object attribute = '%s'.", record.qName.c_str(),
                      TypedText(record.value.Get()).c_str());
        } else {
            TraceInfo(u"Couldn't write the '%s' object attribute value '%s' to the Registry.",
                      record.qName.c_str(), TypedText(record.value.Get()).c_str());
        }
    }
    return S_OK;
}

HRESULT CAttributeCollection::RegistryLoadWork(const VARIANT& rootKey) {
    LoadScope loading(this);
    if (rootKey.vt != VT_ERROR) {
        Target existing;
        if (HRESULT hr = Resolve(kRegistryRootKeyName, &existing); FAILED(hr)) {
            return hr;
        }
        HRESULT hr = existing ? SetAttributeWork(kRegistryRootKeyName, rootKey)
                              : AddAttributeWork(kRegistryRootKeyName, rootKey);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (!registryKey_.IsOpen()) {
        return S_OK;
    }
    // By key, not by iterator: setting a value calls the filter, which may change the collection.
    std::vector<std::u16string> keys;
    for (const auto& [key, record] : attributes_) {
        if ((record.persistentMode & VR_PERSISTENT_READ) != 0) {
            keys.push_back(key);
        }
    }
    for (const std::u16string& key : keys) {
        AttributeRecord* record = FindRecord(key);
        if (record == nullptr) {
            continue;
        }
        Variant candidate;
        if (FAILED(candidate.CopyFrom(record->value.Get()))) {
            return TraceInternalError();
        }
        bool read = false;
        if (HRESULT hr = ReadFromRegistry(*record, &candidate, &read); FAILED(hr)) {
            return hr;
        }
        if (record->IsRegistryRootKey() && ValuesEqual(candidate.Get(), record->value.Get())) {
            continue;
        }
        // Without a value of its own and nothing read, there is nothing to set (an empty text would be set).
        if (!read && record->valueIsEmpty) {
            continue;
        }
        const std::u16string qName = record->qName;
        if (HRESULT hr = SetAttributeWork(qName, candidate.Get()); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

} // namespace tabrisk
