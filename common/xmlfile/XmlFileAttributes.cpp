// The XML file class: attributes of an element as option strings, single attributes, and element texts.
#include "common/xmlfile/XmlFile.h"

#include "common/comtext/BstrText.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "common/xmlfile/XmlFileInternal.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

using vr::xml::Node;
using vrcommon::xmlfile::ThrowIfFailed;

namespace {

// Option-string values that stand for "no value of its own": the attribute is removed.
bool RemovesAttribute(const OLECHAR* value) {
    std::u16string_view text = vr::U16View(value);
    return value == nullptr || text == u"<Default>" || text == u"<Undefined>";
}

// Removes every attribute, the first one each time. A removal that does not shrink the list ends the loop as
// an internal error rather than spinning.
HRESULT ClearAttributes(const Node& element) {
    vr::xml::NamedNodeMap attributes = element.attributes();
    while (attributes.length() > 0) {
        int32_t before = attributes.length();
        ThrowIfFailed(attributes.removeNamedItem(attributes.item(0).nodeName()));
        if (attributes.length() >= before) {
            return TraceInternalError();
        }
    }
    return S_OK;
}

} // namespace

HRESULT CXmlFile::GetAttributes(const OLECHAR* path, BSTR* attributes, const Node& context) {
    return Guarded(u"CXmlFile::GetAttributes()", [&] {
        if (attributes == nullptr) {
            return E_POINTER;
        }
        vrcommon::StoreBstr(attributes, std::nullopt);
        Node element;
        if (HRESULT hr = ElementAt(vr::U16View(path), &element, false, context); FAILED(hr)) {
            return hr;
        }
        vr::xml::NamedNodeMap list = element.attributes();
        for (int32_t index = 0; index < list.length(); ++index) {
            Node attribute = list.item(index);
            // A value no option string can hold is left out, as the writer of option strings leaves it out.
            (void)AppendParam(attributes, attribute.nodeName().c_str(), attribute.nodeValue().c_str(), u" ",
                              false);
        }
        return S_OK;
    });
}

HRESULT CXmlFile::SetAttributes(const OLECHAR* path, const OLECHAR* attributes, bool clearFirst,
                                const Node& context) {
    return Guarded(u"CXmlFile::SetAttributes()",
                   [&] { return ChangeAttributes(vr::U16View(path), attributes, clearFirst, context); });
}

HRESULT CXmlFile::EditableElement(std::u16string_view path, const Node& context, Node* element) {
    if (HRESULT hr = ElementAt(path, element, true, context); FAILED(hr)) {
        return hr;
    }
    // Building a path either gives an element or fails.
    return *element ? S_OK : TraceInternalError();
}

void CXmlFile::ApplyAttribute(const Node& element, std::u16string_view name, const OLECHAR* value) {
    vr::xml::NamedNodeMap list = element.attributes();
    if (RemovesAttribute(value)) {
        ThrowIfFailed(list.removeNamedItem(name));
        return;
    }
    Node attribute = NewNode(vr::xml::NODE_ATTRIBUTE, name);
    ThrowIfFailed(attribute.setNodeValue(vr::U16View(value)));
    ThrowIfFailed(list.setNamedItem(attribute));
}

HRESULT CXmlFile::ChangeAttributes(std::u16string_view path, const OLECHAR* attributes, bool clearFirst,
                                   const Node& context) {
    Node element;
    if (HRESULT hr = EditableElement(path, context, &element); FAILED(hr)) {
        return hr;
    }
    if (clearFirst) {
        if (HRESULT hr = ClearAttributes(element); FAILED(hr)) {
            return hr;
        }
    }
    int count = ParamCount(attributes);
    for (int index = 0; index < count; ++index) {
        _bstr_t name, value;
        if (GetParamAt(name.GetAddress(), value.GetAddress(), attributes, index) && name.length() != 0) {
            ApplyAttribute(element, name.view(), value);
        }
    }
    return S_OK;
}

// Reads the attribute itself rather than picking it out of GetAttributes' option string: a value that holds
// all of ' " } and ] cannot be written there and would read as missing.
HRESULT CXmlFile::GetAttribute(const OLECHAR* path, const OLECHAR* name, BSTR* value, const Node& context) {
    return Guarded(u"CXmlFile::GetAttribute()", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        Node element;
        if (HRESULT hr = ElementAt(vr::U16View(path), &element, false, context); FAILED(hr)) {
            return hr;
        }
        Node attribute = element.attributes().getNamedItem(vr::U16View(name));
        if (attribute) {
            vrcommon::StoreBstr(value, attribute.nodeValue());
        }
        return S_OK;
    });
}

// Sets the attribute itself, as the one-item option string "name=value" would through SetAttributes: a value
// that holds all of ' " } and ] cannot be written into an option string and would be dropped silently.
HRESULT CXmlFile::SetAttribute(const OLECHAR* path, const OLECHAR* name, const OLECHAR* value,
                               const Node& context) {
    return Guarded(u"CXmlFile::SetAttribute()", [&] {
        Node element;
        if (HRESULT hr = EditableElement(vr::U16View(path), context, &element); FAILED(hr)) {
            return hr;
        }
        if (!vr::U16View(name).empty()) {
            ApplyAttribute(element, vr::U16View(name), value);
        }
        return S_OK;
    });
}

HRESULT CXmlFile::GetElementText(const OLECHAR* path, BSTR* text, const Node& context) {
    return Guarded(u"CXmlFile::GetElementText()", [&] {
        if (text == nullptr) {
            return E_POINTER;
        }
        Node element;
        if (HRESULT hr = ElementAt(vr::U16View(path), &element, false, context); FAILED(hr)) {
            return hr;
        }
        if (element) {
            vrcommon::StoreBstr(text, element.text());
        }
        return S_OK;
    });
}

HRESULT CXmlFile::SetElementText(const OLECHAR* path, const OLECHAR* text, const Node& context) {
    return Guarded(u"CXmlFile::SetElementText()", [&] {
        Node element;
        if (HRESULT hr = EditableElement(vr::U16View(path), context, &element); FAILED(hr)) {
            return hr;
        }
        ThrowIfFailed(element.setText(vr::U16View(text)));
        return S_OK;
    });
}
