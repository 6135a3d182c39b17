// XPath 1.0 selection over libxml2 with selection namespaces, a cache of compiled expressions and
// ms:string-compare.
#include "platform/xml/xpath_state.h"

#include "platform/base/text.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/runtime.h"

#include <libxml/xpathInternals.h>

namespace vr::xml::detail {
namespace {

// Expressions are usually a handful per document; the cache is emptied when it grows past this.
constexpr size_t kMaxCompiledExpressions = 256;

std::u16string PopText(xmlXPathParserContextPtr parser) {
    xmlChar* text = xmlXPathPopString(parser);
    std::u16string result = FromXml(text);
    xmlFree(text);
    return result;
}

void StringCompareFunction(xmlXPathParserContextPtr parser, int argumentCount) {
    if (argumentCount < 2 || argumentCount > 4) {
        xmlXPathErr(parser, XPATH_INVALID_ARITY);
        return;
    }
    std::u16string options = argumentCount == 4 ? PopText(parser) : std::u16string();
    if (argumentCount >= 3) {
        PopText(parser); // the language: comparisons here do not depend on it
    }
    std::u16string second = PopText(parser);
    std::u16string first = PopText(parser);
    bool ignoreCase = options.find(u'i') != std::u16string::npos;
    valuePush(parser, xmlXPathNewFloat(CompareStringsForXPath(first, second, ignoreCase)));
}

std::string ExpressionErrorText(const ErrorCapture& capture) {
    const CapturedError* error = capture.FirstError();
    return error != nullptr ? error->message : std::string("Invalid XPath expression");
}

size_t SkipSpace(std::u16string_view text, size_t at) {
    while (at < text.size() &&
           (text[at] == u' ' || text[at] == u'\t' || text[at] == u'\r' || text[at] == u'\n')) {
        ++at;
    }
    return at;
}

} // namespace

int CompareStringsForXPath(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        OLECHAR x = FoldCase(a[i]);
        OLECHAR y = FoldCase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    if (ignoreCase) {
        return 0;
    }
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return a[i] == FoldCase(a[i]) ? -1 : 1; // the lower-case letter sorts first
        }
    }
    return 0;
}

bool ParseSelectionNamespaces(std::u16string_view text,
                              std::vector<std::pair<std::string, std::string>>* namespaces) {
    namespaces->clear();
    size_t at = SkipSpace(text, 0);
    while (at < text.size()) {
        constexpr std::u16string_view kXmlns = u"xmlns";
        if (text.substr(at, kXmlns.size()) != kXmlns) {
            return false;
        }
        at += kXmlns.size();
        std::u16string prefix;
        if (at < text.size() && text[at] == u':') {
            size_t end = text.find(u'=', at);
            if (end == std::u16string_view::npos) {
                return false;
            }
            prefix = std::u16string(text.substr(at + 1, end - at - 1));
            while (!prefix.empty() && prefix.back() == u' ') {
                prefix.pop_back();
            }
            at = end;
        }
        at = SkipSpace(text, at);
        if (at >= text.size() || text[at] != u'=') {
            return false;
        }
        at = SkipSpace(text, at + 1);
        if (at >= text.size() || (text[at] != u'\'' && text[at] != u'"')) {
            return false;
        }
        size_t close = text.find(text[at], at + 1);
        if (close == std::u16string_view::npos) {
            return false;
        }
        if (!prefix.empty()) { // a default namespace is accepted but means nothing to XPath 1.0 names
            namespaces->emplace_back(ToUtf8(prefix), ToUtf8(text.substr(at + 1, close - at - 1)));
        }
        at = SkipSpace(text, close + 1);
    }
    return true;
}

XPathState::XPathState(xmlDocPtr doc) {
    context_ = xmlXPathNewContext(doc);
    if (context_ != nullptr) {
        xmlXPathRegisterFuncNS(context_, reinterpret_cast<const xmlChar*>("string-compare"),
                               AsXml(ToUtf8(kMsXsltNamespace)), &StringCompareFunction);
    }
}

XPathState::~XPathState() {
    for (auto& [text, expression] : compiled_) {
        xmlXPathFreeCompExpr(expression);
    }
    if (context_ != nullptr) {
        xmlXPathFreeContext(context_);
    }
}

void XPathState::SetNamespaces(const std::vector<std::pair<std::string, std::string>>& namespaces) {
    if (context_ == nullptr) {
        return;
    }
    xmlXPathRegisteredNsCleanup(context_);
    for (const auto& [prefix, uri] : namespaces) {
        xmlXPathRegisterNs(context_, AsXml(prefix), AsXml(uri));
    }
}

xmlXPathCompExprPtr XPathState::Compiled(const std::string& expression) {
    if (auto found = compiled_.find(expression); found != compiled_.end()) {
        return found->second;
    }
    xmlXPathCompExprPtr compiled = xmlXPathCtxtCompile(context_, AsXml(expression));
    if (compiled == nullptr) {
        return nullptr;
    }
    if (compiled_.size() >= kMaxCompiledExpressions) {
        for (auto& [text, old] : compiled_) {
            xmlXPathFreeCompExpr(old);
        }
        compiled_.clear();
    }
    compiled_.emplace(expression, compiled);
    return compiled;
}

HRESULT XPathState::Select(xmlNodePtr context, std::u16string_view expression, bool firstOnly,
                           std::vector<xmlNodePtr>* nodes) {
    nodes->clear();
    if (context_ == nullptr) {
        return E_OUTOFMEMORY;
    }
    ErrorCapture capture;
    xmlXPathCompExprPtr compiled = Compiled(ToUtf8(expression));
    if (compiled == nullptr) {
        return Fail(E_FAIL, FromUtf8(ExpressionErrorText(capture)) + u"\r\n" + std::u16string(expression));
    }
    context_->node = context;
    context_->doc = context->doc;
    xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, context_);
    if (result == nullptr) {
        return Fail(E_FAIL, FromUtf8(ExpressionErrorText(capture)) + u"\r\n" + std::u16string(expression));
    }
    HRESULT hr = S_OK;
    if (result->type != XPATH_NODESET) {
        hr = Fail(E_FAIL, u"Expression does not evaluate to a node-set.\r\n" + std::u16string(expression));
    } else if (result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlNodePtr node = result->nodesetval->nodeTab[i];
            if (node->type == XML_NAMESPACE_DECL) {
                continue;
            }
            nodes->push_back(node);
            if (firstOnly) {
                break;
            }
        }
    }
    xmlXPathFreeObject(result);
    return hr;
}

} // namespace vr::xml::detail
