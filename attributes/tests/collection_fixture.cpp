// The shared fixture of the collection tests and the recording filter.
#include "attributes/tests/collection_fixture.h"

#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/registry/registry.h"

#include <fstream>

namespace tabtest {

std::string U8(std::u16string_view text) {
    return vr::ToUtf8(text);
}

// ---- TestFilter ----

vr::ComPtr<TestFilter> TestFilter::Create() {
    return vr::ComPtr<TestFilter>(new TestFilter());
}

std::vector<TestFilter::Call> TestFilter::CallsOf(const std::string& method) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
        if (call.method == method) {
            found.push_back(call);
        }
    }
    return found;
}

HRESULT TestFilter::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IVrAttributeCollectionFilter) {
        *ppv = static_cast<IVrAttributeCollectionFilter*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG TestFilter::Release() {
    ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT TestFilter::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

void TestFilter::Record(const char* method, BSTR name, const VARIANT* value, IDispatch* element,
                        bool initial) {
    Call call{method, U8(vr::BstrView(name)), value ? U8(VariantToText(value)) : "", element != nullptr,
              initial};
    calls.push_back(call);
}

HRESULT TestFilter::SetAttributeValue(BSTR name, VARIANT value, IDispatch* element) {
    Record("Set", name, &value, element);
    return setResult;
}

HRESULT TestFilter::GetAttributeValue(BSTR name, VARIANT* value, IDispatch* element, VARIANT_BOOL initial) {
    Record("Get", name, value, element, initial != VARIANT_FALSE);
    if (getResult == S_OK) {
        static_cast<void>(VariantCopy(value, &getValue));
    }
    return getResult;
}

HRESULT TestFilter::AdjustSetAttribute(BSTR name, VARIANT* value, IDispatch* element) {
    Record("Adjust", name, value, element);
    if (adjustReplaces) {
        static_cast<void>(VariantCopy(value, &adjustValue));
    }
    return adjustResult;
}

HRESULT TestFilter::AttributeIsCreated(BSTR name, VARIANT* value, IDispatch* element) {
    Record("Created", name, value, element);
    return createdResult;
}

// ---- CollectionTest ----

void CollectionTest::SetUp() {
    TracedTest::SetUp();
    // Schemas with REGISTRYROOTKEY save there on release: every test starts without what others saved.
    static_cast<void>(RegDeleteTree(HKEY_CURRENT_USER, u"Software\\Vornic\\Tests"));
}

vr::ComPtr<IVrAttributeCollection> CollectionTest::NewCollection() {
    vr::ComPtr<IVrAttributeCollection> collection;
    HRESULT hr = CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IVrAttributeCollection, collection.PutVoid());
    EXPECT_EQ(hr, S_OK) << vr::LastLibraryLoadError();
    return collection;
}

std::u16string CollectionTest::WriteFile(const std::string& name, const std::string& text) {
    std::string path = vr::DataHome() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return vr::FromUtf8(path);
}

HRESULT CollectionTest::Load(IVrAttributeCollection* collection, const std::u16string& path,
                             const char16_t* xpath, const char16_t* scope, const char16_t* settings) {
    _bstr_t file(path.c_str());
    _bstr_t selection(xpath);
    _bstr_t prefix(scope);
    _bstr_t values(settings);
    return collection->LoadFile(file, selection, prefix, values);
}

HRESULT CollectionTest::Set(IVrAttributeCollection* collection, const char16_t* name,
                            const _variant_t& value) {
    _bstr_t attribute(name);
    return collection->SetAttribute(attribute, value);
}

_variant_t CollectionTest::Get(IVrAttributeCollection* collection, const char16_t* name, VARTYPE asked) {
    _bstr_t attribute(name);
    VARIANT value;
    VariantInit(&value);
    value.vt = asked;
    HRESULT hr = collection->GetAttribute(attribute, &value);
    EXPECT_EQ(hr, S_OK) << U8(name) << ": " << ErrorText();
    _variant_t result(value, false);
    return result;
}

std::string CollectionTest::GetText(IVrAttributeCollection* collection, const char16_t* name) {
    _variant_t value = Get(collection, name);
    return U8(VariantToText(&value));
}

bool CollectionTest::Has(IVrAttributeCollection* collection, const char16_t* name) {
    _bstr_t attribute(name);
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_EQ(collection->HasAttribute(attribute, &has), S_OK);
    return has == VARIANT_TRUE;
}

LONG CollectionTest::Count(IVrAttributeCollection* collection) {
    LONG count = -1;
    EXPECT_EQ(collection->get_Count(&count), S_OK);
    return count;
}

std::vector<std::string> CollectionTest::Names(IVrAttributeCollection* collection) {
    std::vector<std::string> names;
    for (LONG i = 0, count = Count(collection); i < count; ++i) {
        vr::ComPtr<IVrAttribute> attribute;
        EXPECT_EQ(collection->get_Item(i, attribute.Put()), S_OK);
        BSTR name = nullptr;
        EXPECT_EQ(attribute->get_Name(&name), S_OK);
        names.push_back(U8(vr::BstrView(name)));
        SysFreeString(name);
    }
    return names;
}

std::string CollectionTest::ErrorText() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return "";
    }
    BSTR description = nullptr;
    static_cast<void>(info->GetDescription(&description));
    std::string text = U8(vr::BstrView(description));
    SysFreeString(description);
    return text;
}

std::vector<std::string> CollectionTest::TraceTexts() const {
    std::vector<std::string> texts;
    for (const commontest::SinkCall& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITETEXT) {
            texts.push_back(U8(call.text));
        }
    }
    return texts;
}

bool CollectionTest::Traced(const std::string& fragment) const {
    for (const std::string& text : TraceTexts()) {
        if (text.find(fragment) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace tabtest
