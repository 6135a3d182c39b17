// The XML file class's fixed examples, run by the development studio when its main window is created. The
// examples of refused requests trace no error: nothing failed.
#include "common/xmlfile/XmlFile.h"

#include "common/trace/ExpectedRefusal.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/xml/namespaces.h"

using vr::xml::Node;

namespace {

// A failed example is traced with its own line and ends the run.
#define SELF_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            return TraceInternalError();                                                                     \
        }                                                                                                    \
    } while (false)

int32_t CountNodes(const CXmlFile& file, std::u16string_view xpath) {
    vr::xml::NodeList nodes;
    return SUCCEEDED(file.GetDocument().selectNodes(xpath, &nodes)) ? nodes.length() : -1;
}

std::u16string AttributesOf(CXmlFile& file, const OLECHAR* path) {
    _bstr_t list;
    return SUCCEEDED(file.GetAttributes(path, list.GetAddress())) ? std::u16string(list.view()) : u"<failed>";
}

HRESULT BuildsAndFindsPaths(CXmlFile& file) {
    Node child, again, child2;
    SELF_CHECK(file.GetElement(u"/root/parent/child[@attr1 = 'val1'][@attr2 = '2']", &child, true) == S_OK);
    SELF_CHECK(child && child.parentNode().nodeName() == u"parent");
    SELF_CHECK(AttributesOf(file, u"/root/parent/child") == u"attr1=val1 attr2=2");
    SELF_CHECK(file.GetElement(u"/root/parent/child[@attr1 = 'val1'][@attr2 = '2']", &again, true) == S_OK);
    SELF_CHECK(again == child && CountNodes(file, u"/root/parent/*") == 1);
    SELF_CHECK(file.GetElement(u"/root/parent/child2", &child2, true) == S_OK);
    SELF_CHECK(child2 && child2.previousSibling() == child && !child2.attributes().length());
    return S_OK;
}

HRESULT EditsAttributes(CXmlFile& file) {
    SELF_CHECK(file.SetAttribute(u"/root/parent/child2", u"attr2", u"val2") == S_OK);
    SELF_CHECK(file.SetAttributes(u"/root/parent/child2", u"a='a1' b='b1'") == S_OK);
    SELF_CHECK(AttributesOf(file, u"/root/parent/child2") == u"attr2=val2 a=a1 b=b1");
    SELF_CHECK(file.SetAttributes(u"/root/parent/child2", u"c='c1'", true) == S_OK);
    SELF_CHECK(AttributesOf(file, u"/root/parent/child2") == u"c=c1");
    return S_OK;
}

HRESULT PutsNamespacedNodes(CXmlFile& file) {
    Node child3;
    SELF_CHECK(file.GetElement(u"/root/parent/vrt:child3[@attr1 = 'val1']", &child3, true) == S_OK);
    SELF_CHECK(child3 && child3.namespaceURI() == vr::xml::kObjectAttributesNamespace);
    SELF_CHECK(file.SetAttribute(u"/root/parent/vrt:child3[@attr1 = 'val1']", u"vrt:e", u"e5") == S_OK);
    Node e = child3.attributes().getQualifiedItem(u"e", vr::xml::kObjectAttributesNamespace);
    SELF_CHECK(e && e.nodeValue() == u"e5");
    return S_OK;
}

HRESULT PutsWholeElements(CXmlFile& file) {
    vr::xml::Document document = file.GetDocument();
    Node source;
    SELF_CHECK(SUCCEEDED(document.createElement(u"_child3", &source)));
    SELF_CHECK(file.SetElement(u"/root/parent2/unkChild", source, true) == S_OK);
    SELF_CHECK(CountNodes(file, u"/root/parent2/_child3") == 1);
    SELF_CHECK(file.SetElement(u"/root/parent3/unkChild", source, false) == E_INVALIDARG);
    SELF_CHECK(CountNodes(file, u"/root/parent3") == 0);
    SELF_CHECK(file.SetAttributes(u"/root/parent2/_child3[@name='ch']", u"a='a1'") == S_OK);
    SELF_CHECK(CountNodes(file, u"/root/parent2/_child3") == 2);
    SELF_CHECK(AttributesOf(file, u"/root/parent2/_child3[@name='ch']") == u"name=ch a=a1");
    SELF_CHECK(file.SetAttributes(u"/root/parent2/_child3[@name='ch']", u"a") == S_OK);
    SELF_CHECK(AttributesOf(file, u"/root/parent2/_child3[@name='ch']") == u"name=ch");
    return S_OK;
}

HRESULT RejectsDoubleQuotes(CXmlFile& file) {
    Node element;
    HRESULT refused = S_OK;
    {
        ExpectedRefusalScope expected; // its error line says what is asked for here
        refused = file.GetElement(u"/root/parent/child4[@a = \"1\"]", &element, true);
    }
    SELF_CHECK(refused == E_INVALIDARG);
    SELF_CHECK(CountNodes(file, u"/root/parent/child4") == 1);
    return S_OK;
}

HRESULT FollowsLoadRules(CXmlFile& file) {
    CXmlFile unnamed;
    HRESULT refused = S_OK;
    {
        ExpectedRefusalScope expected; // as above
        refused = unnamed.Load();
    }
    SELF_CHECK(refused == E_INVALIDARG);
    SELF_CHECK(file.Load() == S_OK);
    return S_OK;
}

HRESULT RunExamples() {
    CXmlFile file;
    std::u16string root = u"<root xmlns:vrt='" + std::u16string(vr::xml::kObjectAttributesNamespace) + u"'/>";
    SELF_CHECK(file.CreateDocument(root.c_str()) == S_OK);
    for (HRESULT (*example)(CXmlFile&) : {BuildsAndFindsPaths, EditsAttributes, PutsNamespacedNodes,
                                          PutsWholeElements, RejectsDoubleQuotes, FollowsLoadRules}) {
        if (HRESULT hr = example(file); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

} // namespace

HRESULT CXmlFile::TestClass() {
    return Guarded(nullptr, [] { return RunExamples(); });
}
