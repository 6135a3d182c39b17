// The XML schema factory: XSD element fragments from one-line descriptions in option-string form and back,
// complex types built from nested sequences, and value checks against the type of an element.
//
// An element description is an option string of name=value items: `type` (an XSD built-in type name without
// prefix) and `name` are required; the one-argument CreateElement also reads `XsdQualifier` (the prefix of
// the XSD names, "xsd" when absent) and `XmlAttrStructure` (below, "vra:substitution=enumeration" when
// absent). Items named after a facet ("enumeration", "pattern", "length", "minLength", "maxLength",
// "whiteSpace", "minInclusive", "maxInclusive", "minExclusive", "maxExclusive") become facets of the
// element's simple type, in their order; any other item is an attribute of the element, unless the attribute
// structure places it: its items read attributeName=elementLocalName and put that attribute on the last
// element of that local name built so far ("enumeration=LO vra:substitution=0" puts vra:substitution on the
// "LO" enumeration).
//
// Conventions of every method:
// - Returns an HRESULT (S_FALSE for "not valid"); failures are reported through the trace module (site tag
//   and error line, so LastErrorText holds the report) and set no rich error information: the COM object that
//   uses the factory does that. A failing DOM call is reported with DumpComError and its HRESULT returned.
// - Text arguments are borrowed; a null pointer is the empty text.
// - BSTR* out-arguments hold null or a BSTR: a method that writes one frees the earlier content first.
// - Node out-arguments receive handles that keep their document alive; elements handed out stay valid when
// the
//   factory reuses its working document or is destroyed.
//
// Threads: an object is used by one thread at a time. Its traces go to the deliverable's trace state, which
// it shares with everything else in the deliverable.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <functional>
#include <string>
#include <vector>

class CXMLSchemaFactory {
public:
    // Creates the working document; when that fails the failure is reported with DumpComError, and every
    // later operation that needs the document fails with E_POINTER.
    CXMLSchemaFactory();
    CXMLSchemaFactory(const CXMLSchemaFactory&) = delete;
    CXMLSchemaFactory& operator=(const CXMLSchemaFactory&) = delete;
    virtual ~CXMLSchemaFactory();

    // The element `qualifier:element` named name, of the given built-in type. Without facet items it carries
    // type="qualifier:type" and the items as attributes (a later item overwrites an earlier one of the same
    // name); with facet items it holds an anonymous simple type restricting that type instead. An attribute
    // the structure places on an element not built yet: E_INVALIDARG and *element unchanged. The element
    // stays in the working document until the caller moves it.
    [[nodiscard]] HRESULT CreateElement(vr::xml::Node* element, const OLECHAR* type, const OLECHAR* name,
                                        const OLECHAR* attributes, const OLECHAR* attrStructure,
                                        const OLECHAR* qualifier);
    // The same with `type` and `name` taken out of the description; E_INVALIDARG when either is missing.
    [[nodiscard]] HRESULT CreateElement(vr::xml::Node* element, const OLECHAR* typeNameAttributes,
                                        const OLECHAR* attrStructure, const OLECHAR* qualifier);
    // The same with `XsdQualifier` and `XmlAttrStructure` taken out of the description too.
    [[nodiscard]] HRESULT CreateElement(vr::xml::Node* element, const OLECHAR* typeNameAttributes);

    // Whether value is a valid value of the element's type (its lexical space and facets; attributes such as
    // fixed or default take no part): S_OK valid (an empty value always is), S_FALSE not valid. The element
    // moves into the working document for the check. Failures: E_INVALIDARG when the element does not parse
    // together with the schema template (undeclared prefixes), E_FAIL with "Element is not defined in the
    // Schema." when no element compiles, the schema processor's failure with its description (its location
    // line dropped, line breaks as blanks). *errorText is null unless a failure gives a text. namedTypes: the
    // named simple types (of a file's own schema) the element's type may be or restrict; copies of them go
    // into the check's schema ahead of the element.
    [[nodiscard]] HRESULT IsValidElement(const vr::xml::Node& element, const OLECHAR* value, BSTR* errorText,
                                         const std::vector<vr::xml::Node>& namedTypes = {});

    // Starts a new complex type `qualifier:complexType` named name, outside any tree, and makes it the one
    // that the sequence and AddElement calls below fill; the previous one stays with its holder as it is.
    [[nodiscard]] HRESULT CTBeginComplexType(vr::xml::Node* complexType, const OLECHAR* name,
                                             const OLECHAR* qualifier);
    // Appends a sequence with the occurrence bounds (maxOccurs -1 is written "unbounded") at the insertion
    // point and opens it. The insertion point is the innermost open sequence, or the complex type itself;
    // without a complex type: E_POINTER.
    [[nodiscard]] HRESULT CTBeginSequence(LONG minOccurs, LONG maxOccurs);
    // CTBeginSequence with minOccurs and maxOccurs read from an option string (defaults 1 and unbounded; a
    // value that is not a number is traced and its default kept).
    [[nodiscard]] HRESULT SetOccurs(const OLECHAR* options);
    // Closes the innermost open sequence; E_FAIL when none is open (nothing changes then).
    [[nodiscard]] HRESULT CTEndSequence();
    // Appends the element (leaving any tree it was in), or a comment with the text, at the insertion point.
    [[nodiscard]] HRESULT AddElement(const vr::xml::Node& element);
    [[nodiscard]] HRESULT AddElement(const OLECHAR* text);

    // The inverse of the six-argument CreateElement: all five results are written ("" first); E_FAIL with a
    // trace when the node is not an element named "element".
    [[nodiscard]] HRESULT LoadElement(const vr::xml::Node& element, BSTR* type, BSTR* name, BSTR* attributes,
                                      BSTR* attrStructure, BSTR* qualifier);
    // The inverse of the one-argument CreateElement: the attributes followed by the items type, name,
    // XsdQualifier and XmlAttrStructure.
    [[nodiscard]] HRESULT LoadElement(const vr::xml::Node& element, BSTR* typeNameAttributes);

    // Builds the worked examples of the factory and checks the results against their expected texts: true
    // when every check holds.
    bool TestClass();

    // "long" for a decimal integer text (leading blanks and a sign allowed; an empty text too), else "double"
    // for a real number that does not overflow, else "string"; *numeric (when given) tells whether it is one
    // of the two numbers. Frees the earlier content of type. Always true; traces nothing.
    static bool GuessXsdTypeOfValue(const OLECHAR* value, BSTR& type, bool* numeric);
    // True exactly for the sixteen numeric XSD type names (case-sensitive).
    static bool IsNumericXsdType(const OLECHAR* typeName);

private:
    // Runs work with TraceMethodName set, turning a raised COM failure into its report and HRESULT.
    HRESULT Guarded(const OLECHAR* methodName, const std::function<HRESULT()>& work);

    void ReloadTemplate();
    vr::xml::Node NewElement(std::u16string_view qualifier, std::u16string_view localName);
    HRESULT BuildElement(vr::xml::Node* element, std::u16string_view type, std::u16string_view name,
                         const OLECHAR* attributes, const OLECHAR* attrStructure,
                         std::u16string_view qualifier);
    HRESULT BuildFromDescription(vr::xml::Node* element, const OLECHAR* typeNameAttributes,
                                 const OLECHAR* attrStructure, std::u16string_view qualifier);
    HRESULT PlaceStructuredAttribute(std::u16string_view attribute, std::u16string_view value,
                                     std::u16string_view target);
    HRESULT CheckValue(const vr::xml::Node& element, const OLECHAR* value, BSTR* errorText,
                       const std::vector<vr::xml::Node>& namedTypes);
    vr::xml::Node InsertionPoint() const;
    HRESULT ReadElement(const vr::xml::Node& element, BSTR* type, BSTR* name, BSTR* attributes,
                        BSTR* attrStructure, BSTR* qualifier);
    void WalkNode(const vr::xml::Node& node, std::u16string_view qualifier, BSTR* attributes,
                  BSTR* attrStructure);

    vr::xml::Document document_;
    std::u16string schemaTemplate_;
    std::u16string restrictionBase_;
    vr::xml::Node complexType_;
    std::u16string complexTypeQualifier_;
    LONG openSequences_ = 0;
};
