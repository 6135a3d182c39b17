// Schema loading of the compose/parse library: from a device adapter file's `types` element or an XSD file.
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

namespace {

using vr::xml::Document;
using xlatrix::CheckXml;

Document NewDocument(bool validateOnParse) {
    Document document;
    CheckXml(Document::Create(&document));
    document.setAsync(false);
    document.setValidateOnParse(validateOnParse);
    CheckXml(document.setProperty(u"SelectionLanguage", u"XPath"));
    return document;
}

// Paths are file-system names; an empty or null path is passed on and fails as the load's own error.
std::u16string PathText(const char* path) {
    return vr::FromUtf8(path != nullptr ? path : "");
}

} // namespace

bool CXlatrix::SetSchemaXml(const char* path) {
    return Guarded([&] {
        Document document = NewDocument(false);
        document.setPreserveWhiteSpace(true);
        if (document.load(PathText(path)) != S_OK) {
            DumpParseError(document.parseError());
            return false;
        }
        return SetSchemaXml(document);
    });
}

bool CXlatrix::SetSchemaXml(const vr::xml::Document& adapterDocument) {
    return Guarded([&] {
        vr::xml::Node schemaNode;
        CheckXml(adapterDocument.selectSingleNode(u"//types/*", &schemaNode));
        if (!schemaNode) {
            xlatrix::ThrowXmlFailure(E_POINTER, u"The document has no schema inside a 'types' element.\r\n");
        }
        Document schemaDocument = NewDocument(true);
        if (schemaDocument.loadXML(schemaNode.xml()) != S_OK) {
            DumpParseError(schemaDocument.parseError());
            return false;
        }
        return LoadSchemaDocument(schemaDocument);
    });
}

bool CXlatrix::SetSchemaXsd(const char* path) {
    return Guarded([&] {
        Document document = NewDocument(true);
        document.setPreserveWhiteSpace(true);
        if (document.load(PathText(path)) != S_OK) {
            DumpParseError(document.parseError());
            return false;
        }
        return LoadSchemaDocument(document);
    });
}

bool CXlatrix::LoadSchemaDocument(const vr::xml::Document& schemaDocument) {
    vr::xml::Node namespaceNode;
    CheckXml(schemaDocument.selectSingleNode(u"//*/@targetNamespace", &namespaceNode));
    std::u16string targetNamespace = namespaceNode ? namespaceNode.nodeValue() : std::u16string();
    vr::xml::SchemaCache cache;
    CheckXml(vr::xml::SchemaCache::Create(&cache));
    CheckXml(cache.add(targetNamespace, schemaDocument));
    vr::xml::Schema loaded;
    CheckXml(cache.getSchema(targetNamespace, &loaded));
    return SetSchema(loaded);
}

bool CXlatrix::SetSchema(const vr::xml::Schema& newSchema) {
    return Guarded([&] {
        if (!newSchema || newSchema.types().length() == 0) {
            DumpError("CXlatrix::SetSchema(): There are no types defined in the Adapter.\n");
            return false;
        }
        schema = newSchema;
        mapValueInfo.clear(); // keyed by items of the schema before
        // The walks were compiled from those items too; the last parse's matches stay readable.
        MakeMatchMap();
        if (walk) {
            walk->roots.clear();
            walk->complexes.clear();
        }
        return true;
    });
}

vr::xml::SchemaType CXlatrix::FindType(const char* typeName) {
    std::string name = xlatrix::Narrow(typeName);
    vr::xml::SchemaType type = schema.types().itemByName(xlatrix::Wide(name)).AsType();
    if (!type) {
        xlatrix::ThrowXmlFailure(E_INVALIDARG,
                                 u"There is no type named '" + xlatrix::Wide(name) + u"' in the schema.\r\n");
    }
    return type;
}
