// CSpecValidator: the specification validator's one class, its dual interface served from a dispatch table.
//
// Threads: objects are apartment-threaded. The public methods of every object of this library run one at a
// time (one lock for the library, which the same thread may take again): the library's diagnostic state
// (method name, site tag, last error text) and the error information made from it so belong to one check from
// its start to its end, also when objects on several threads check at once.
#pragma once

#include "common/schemafactory/XMLSchemaFactory.h"
#include "limitor.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

#include <optional>
#include <string>

class CSpecValidator : public vr::ObjectRoot,
                       public vr::CoClass<CSpecValidator>,
                       public vr::DispatchImpl<CSpecValidator, IVrSpecValidator>,
                       public vr::SupportErrorInfoImpl<IVrSpecValidator> {
public:
    using Interfaces = vr::InterfaceList<IVrSpecValidator, IDispatch, ISupportErrorInfo>;

    static const vr::DispatchTable<CSpecValidator>& GetDispatchTable();

    [[nodiscard]] HRESULT FinalConstruct();
    void FinalRelease();

    HRESULT IsValid(VARIANT vValue, VARIANT vSpec, VARIANT vValuePrecision, VARIANT vOptions,
                    VARIANT_BOOL* pvbValid) override;
    HRESULT GetInfo(VARIANT vValue, BSTR* bsInfo) override;
    HRESULT get_lastError(BSTR* pVal) override;

private:
    // The value and specification of one check as texts.
    struct CheckTexts {
        std::u16string value;
        std::u16string spec;
    };

    HRESULT Check(const VARIANT& value, const VARIANT& spec, const VARIANT& precision, VARIANT_BOOL* valid);
    // The schema attribute text for the specification's keyword and body, or nullopt for a plain comparison.
    // A kind that cannot read its specification fails with its message traced.
    HRESULT ChooseSchemaAttributes(std::u16string_view keyword, std::u16string_view body,
                                   std::optional<std::u16string>* attributes);
    // Adds the item name=Value to the attribute text when it names no element, builds the element and checks
    // the value; *checkResult is what the factory answered.
    HRESULT CheckAgainstSchema(std::u16string& attributes, const std::u16string& value, bool* valid,
                               HRESULT* checkResult);
    HRESULT Verdict(bool valid, HRESULT checkResult, const CheckTexts& texts,
                    const std::u16string& attributes, VARIANT_BOOL* result);

    CXMLSchemaFactory factory_;
    // Null until the first IsValid.
    std::optional<std::u16string> lastError_;
};
