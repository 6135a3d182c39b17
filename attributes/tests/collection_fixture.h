// What the collection tests share: an apartment with a recording tracer, new collections from the registered
// server, schema files in the private home folder, a recording filter, and short ways to set and read values.
#pragma once

#include "attributes/include/tabrisk.h"
#include "common/trace/tests/trace_sink.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tabtest {

std::string U8(std::u16string_view text);

// The owner's filter for tests: records every call and answers as told.
class TestFilter final : public IVrAttributeCollectionFilter {
public:
    struct Call {
        std::string method; // "Set", "Get", "Adjust", "Created"
        std::string name;
        std::string value; // the value as the filter received it (display text)
        bool hasElement = false;
        bool initial = false;
    };

    static vr::ComPtr<TestFilter> Create();

    // Answers; Get gives getValue with getResult (S_OK only), Adjust replaces with adjustValue when set.
    HRESULT setResult = S_OK;
    HRESULT getResult = S_FALSE;
    _variant_t getValue;
    HRESULT adjustResult = S_OK;
    bool adjustReplaces = false;
    _variant_t adjustValue;
    HRESULT createdResult = S_OK;

    std::vector<Call> calls;
    std::vector<Call> CallsOf(const std::string& method) const;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT SetAttributeValue(BSTR name, VARIANT value, IDispatch* element) override;
    HRESULT GetAttributeValue(BSTR name, VARIANT* value, IDispatch* element, VARIANT_BOOL initial) override;
    HRESULT AdjustSetAttribute(BSTR name, VARIANT* value, IDispatch* element) override;
    HRESULT AttributeIsCreated(BSTR name, VARIANT* value, IDispatch* element) override;

private:
    TestFilter() = default;
    ~TestFilter() = default;
    void Record(const char* method, BSTR name, const VARIANT* value, IDispatch* element,
                bool initial = false);
    ULONG references_ = 0;
};

class CollectionTest : public commontest::TracedTest {
protected:
    void SetUp() override;

    // A new collection from the registered server.
    vr::ComPtr<IVrAttributeCollection> NewCollection();
    // Writes text as a file in the private home folder; returns its path.
    static std::u16string WriteFile(const std::string& name, const std::string& text);
    // LoadFile with BSTR arguments.
    static HRESULT Load(IVrAttributeCollection* collection, const std::u16string& path,
                        const char16_t* xpath = u"", const char16_t* scope = u"",
                        const char16_t* settings = u"");

    static HRESULT Set(IVrAttributeCollection* collection, const char16_t* name, const _variant_t& value);
    // The value as GetAttribute hands it out (the caller's VARIANT starts as asked).
    static _variant_t Get(IVrAttributeCollection* collection, const char16_t* name, VARTYPE asked = VT_EMPTY);
    static std::string GetText(IVrAttributeCollection* collection, const char16_t* name);
    static bool Has(IVrAttributeCollection* collection, const char16_t* name);
    static LONG Count(IVrAttributeCollection* collection);
    static std::vector<std::string> Names(IVrAttributeCollection* collection);

    // The description of the calling thread's error information (consumed).
    static std::string ErrorText();
    // Trace lines sent since the last Clear, at any level.
    std::vector<std::string> TraceTexts() const;
    bool Traced(const std::string& fragment) const;
    void ClearTrace() { sink_->Clear(); }
};

} // namespace tabtest
