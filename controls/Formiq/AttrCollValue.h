// The values of one attribute collection as the editor form shows them: CAttrCollValue binds a form value to
// one attribute (its qualified name, its value, its valid values), CAttrCollValues holds the shown
// attributes of a collection and the part of the setup string that names none of them.
// Threads: the window thread of the form, which is the collection's caller (it may be a proxy of an object
// of another process: every call goes through IVrAttributeCollection).
#pragma once

#include "attributes/include/tabrisk.h"
#include "common/attrvalues/AttrValue.h"
#include "platform/com/comptr.h"

#include <string>

class CAttrCollValue : public CAttrValue {
public:
    // Reads the attribute's qualified name, value and valid values from the collection. A collection that is
    // not an IVrAttributeCollection is traced as an error and the value stays "<Undefined>".
    CAttrCollValue(IUnknown* collection, const char* name);

    // "<Undefined>" only sets the text; anything else is set into the collection (its failure returned, with
    // the collection's error information left for the row to show).
    [[nodiscard]] HRESULT StoreValue(const char* text) override;
    // The collection's current value, or "<Undefined>" when it has none that reads as text.
    [[nodiscard]] HRESULT RetrieveValue() override;
    // -1 for "<Undefined>", else whether the collection would accept the text (1 or 0).
    int CompareValue(const char* text, std::string* completion) override;

private:
    std::string ReadValueText();

    vr::ComPtr<IVrAttributeCollection> collection_; // one reference for the value's life
};

class CAttrCollValues : public CAttrValueList {
public:
    // Applies setup to the collection and makes a value for each attribute shown: every one, or with the
    // option IncludeAttributeQualifiers (a blank-separated list of scopes) those of the listed scopes. What
    // remains of setup once the shown attributes' items are taken out is the supplementary text. Returns
    // false (traced) when the collection is not an IVrAttributeCollection; the list then stays empty.
    bool Init(IUnknown* collection, const std::string& setup, const std::string& options);

    IVrAttributeCollection* Collection() const { return collection_.Get(); }
    // Setup items that name no shown attribute, in normal form.
    std::string Supplementary;

private:
    vr::ComPtr<IVrAttributeCollection> collection_; // one reference while the list lives
};

// The qualified name's scope: the part before its first ":", "" without one.
std::string ScopeOf(const std::string& qualifiedName);
