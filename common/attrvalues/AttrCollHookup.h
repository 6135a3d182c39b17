// The hookup of a component's settings: create its attribute collection, load the schema, link members.
#pragma once

#include "attributes/include/tabrisk.h"

#include <initializer_list>

// One member variable mirrored by an attribute: the attribute's name and a VT_BYREF VARIANT that points at
// the member (VT_I4, VT_R8, VT_BSTR, or VT_BOOL for a 32-bit integer that receives 1 or 0). A null name ends
// a list of links. The member must outlive the collection (or the link).
struct AttributeLink {
    const OLECHAR* name = nullptr;
    VARIANT variable{};
};

// The by-reference VARIANTs of the four kinds of member.
VARIANT LinkToLong(LONG* member);
VARIANT LinkToDouble(double* member);
VARIANT LinkToText(BSTR* member);
VARIANT LinkToFlag(LONG* member);

// Creates an `AttributeCollection` in process (aggregated when outer is given), sets the filter, adds the
// contained collection (queried for IVrAttributeCollection; visibility as AddContainedAttributes takes it,
// the "missing" marker for none), loads filePath ("res://<module path>/Attributes.xml" for a module's own
// schema) with schemaXPath, scope and settings, and links the members in list order until a null name.
//
// On success: with inner given, *inner holds the collection's own unknown with its reference and *collection
// (when given) a pointer that holds no reference of its own; without inner, *collection holds a counted
// reference; with neither, the collection is released again. On failure everything is released, *collection
// and *inner are null, and the failing step's HRESULT is returned (the collection traced the reason).
// Threads: the calling thread must have initialised COM; the collection belongs to its apartment.
[[nodiscard]] HRESULT CreateAttributeCollection(BSTR filePath, BSTR schemaXPath, BSTR scope,
                                                IVrAttributeCollection** collection, IUnknown* contained,
                                                VARIANT visibility, IVrAttributeCollectionFilter* filter,
                                                IUnknown* outer, IUnknown** inner, BSTR settings,
                                                std::initializer_list<AttributeLink> links = {});
