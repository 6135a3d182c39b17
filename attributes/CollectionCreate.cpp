// Creating attributes without a schema, inserting records, and removing them all.
#include "attributes/AttributeCollection.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace tabrisk {

HRESULT CAttributeCollection::InsertRecord(AttributeRecord record, AttributeRecord** inserted) {
    *inserted = nullptr;
    if (record.qName.empty()) {
        SetTraceSite();
        TraceError(u"An object attribute has no name defined.");
        return E_INVALIDARG;
    }
    Target existing;
    if (HRESULT hr = Resolve(record.qName, &existing); FAILED(hr)) {
        return hr;
    }
    if (existing) {
        SetTraceSite();
        TraceError(u"The '%s' object attribute has multiple definitions.", record.qName.c_str());
        return TYPE_E_NAMECONFLICT;
    }
    std::u16string key = vr::ToUpper(record.qName);
    *inserted = &attributes_.emplace(std::move(key), std::move(record)).first->second;
    return S_OK;
}

HRESULT CAttributeCollection::AddAttributeWork(std::u16string_view name, const VARIANT& given) {
    if (name.empty()) {
        SetTraceSite();
        TraceError(u"An object attribute has no name defined.");
        return E_INVALIDARG;
    }
    AttributeRecord record;
    record.qName = name;
    size_t colon = name.find(u':');
    record.name = colon == std::u16string_view::npos ? name : name.substr(colon + 1);
    record.persistentMode = record.IsRegistryRootKey() ? VR_PERSISTENT_NONE : VR_PERSISTENT_READWRITE;
    record.numId = -1;
    Variant value;
    if (vr::IsMissingArgument(given)) {
        value = Variant::FromText(u"");
        if (filter_ != nullptr) {
            Bstr local(record.name);
            HRESULT hr = filter_->GetAttributeValue(local.Get(), &value.Get(), nullptr, VARIANT_TRUE);
            if (hr == S_OK) {
                record.initialValuePending = true;
                if (FAILED(record.initialValue.CopyFrom(value.Get()))) {
                    return TraceInternalError();
                }
            } else if (hr == S_FALSE || hr == E_NOTIMPL) {
                value = Variant::FromText(u""); // declined: whatever it left there is not a value
            } else {
                SetTraceSite();
                TraceInfo(
                    u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::GetAttributeValue() "
                    u"returned error %08lx.",
                    record.name.c_str(), hr);
                return FAILED(hr) ? hr : E_FAIL;
            }
        }
        bool read = false;
        if (HRESULT hr = ReadFromRegistry(record, &value, &read); FAILED(hr)) {
            return hr;
        }
    } else if (FAILED(value.CopyFrom(given))) {
        return TraceInternalError();
    }
    record.validValues.emplace_back();
    if (FAILED(record.validValues.back().CopyFrom(value.Get())) ||
        FAILED(record.value.CopyFrom(value.Get()))) {
        return TraceInternalError();
    }
    AttributeRecord* inserted = nullptr;
    if (HRESULT hr = InsertRecord(std::move(record), &inserted); FAILED(hr)) {
        return hr;
    }
    const std::u16string qName = inserted->qName;
    if (filter_ != nullptr) {
        Variant announced;
        Bstr announcedName(qName);
        if (SUCCEEDED(announced.CopyFrom(value.Get()))) {
            HRESULT hr = filter_->AttributeIsCreated(announcedName.Get(), &announced.Get(), nullptr);
            if (FAILED(hr) && hr != E_NOTIMPL) {
                SetTraceSite();
                TraceInfo(
                    u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::AttributeIsCreated('%s') "
                    u"return error %08lx.",
                    qName.c_str(), DisplayText(value.Get()).c_str(), hr);
            }
        }
    }
    return SetAttributeWork(qName, value.Get());
}

HRESULT CAttributeCollection::RemoveAllWork() {
    if (HRESULT hr = RegistrySaveWork(); FAILED(hr)) {
        return hr;
    }
    attributes_.clear();
    return S_OK;
}

} // namespace tabrisk
