// Parsing with libxml2 (network, DTD loading and entity substitution off) and reading documents from URLs.
#include "platform/xml/parse.h"

#include "platform/base/file_read.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/resources/res_url.h"
#include "platform/xml/runtime.h"

#include <libxml/parser.h>

#include <cctype>
#include <memory>
#include <mutex>

namespace vr::xml::detail {
namespace {

std::mutex g_resolverLock;
ResourceResolver g_resolver;

// The line (1-based) of the text and the byte offset where it starts.
std::string_view LineOf(std::string_view bytes, int line, size_t* lineStart) {
    size_t start = 0;
    for (int current = 1; current < line; ++current) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            *lineStart = bytes.size();
            return {};
        }
        start = end + 1;
    }
    size_t end = bytes.find('\n', start);
    std::string_view text =
        bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    *lineStart = start;
    return text;
}

// The byte offset of a 1-based column (counted in characters, as the parser counts) within a UTF-8 line.
size_t ByteOffsetOfColumn(std::string_view line, int column) {
    size_t offset = 0;
    for (int character = 1; character < column && offset < line.size(); ++character) {
        ++offset;
        while (offset < line.size() && (static_cast<unsigned char>(line[offset]) & 0xC0) == 0x80) {
            ++offset; // continuation bytes of the same character
        }
    }
    return offset;
}

void FillFromParser(const CapturedError& captured, const ParseRequest& request, ParseError* error) {
    error->errorCode = HResultFromXmlError(captured.code);
    error->url = request.url;
    error->reason = FromUtf8(captured.message) + u"\r\n";
    error->line = captured.line;
    error->linepos = captured.column;
    size_t lineStart = 0;
    std::string_view line = LineOf(request.bytes, captured.line, &lineStart);
    error->srcText = FromUtf8(line);
    size_t offset = lineStart + ByteOffsetOfColumn(line, captured.column);
    error->filepos = static_cast<int32_t>(FromUtf8(request.bytes.substr(0, offset)).size());
}

void FillFailure(HRESULT code, std::u16string reason, std::u16string_view url, ParseError* error) {
    *error = ParseError{};
    error->errorCode = code;
    error->reason = std::move(reason);
    error->url = std::u16string(url);
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// "scheme://" with a scheme of letters, digits, '+', '-', '.' (a drive letter "C:\" is not one).
bool HasScheme(std::u16string_view url) {
    size_t colon = url.find(u"://");
    if (colon == std::u16string_view::npos || colon < 2) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        char16_t c = url[i];
        bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                  c == u'+' || c == u'-' || c == u'.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string FilePathOfUrl(std::u16string_view url) {
    std::u16string_view rest = url.substr(7); // after "file://"
    if (StartsWithNoCase(rest, u"localhost/")) {
        rest.remove_prefix(9);
    }
    std::string path = ToUtf8(rest);
    std::string decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    return decoded;
}

void FillFileFailure(int err, std::u16string_view url, ParseError* error) {
    HRESULT hr = HResultFromErrno(err);
    FillFailure(hr, Win32ErrorMessage(static_cast<DWORD>(HRESULT_CODE(hr))), url, error);
}

// Only a regular file within the input limit is read (a FIFO or a device would block or never end); a file
// that is refused says why, one that cannot be opened gives the system's text.
bool ReadFile(const std::string& path, std::u16string_view url, std::string* bytes, ParseError* error) {
    FileReadResult read = ReadInputFile(path, bytes);
    if (read.refused) {
        FillFailure(HResultFromErrno(read.error), FromUtf8(read.reason) + u"\r\n", url, error);
    } else if (!read) {
        FillFileFailure(read.error, url, error);
    }
    return static_cast<bool>(read);
}

bool ReadResource(std::u16string_view url, std::string* bytes, ParseError* error) {
    ResourceResolver resolver;
    {
        std::lock_guard guard(g_resolverLock);
        resolver = g_resolver;
    }
    // Without a resolver of its own, a "res://" URL names a module's embedded resource.
    HRESULT hr = resolver ? resolver(url, bytes) : LoadResUrl(url, bytes);
    if (FAILED(hr)) {
        std::u16string reason = Win32ErrorMessage(static_cast<DWORD>(HRESULT_CODE(hr)));
        FillFailure(hr, reason.empty() ? u"The resource cannot be read.\r\n" : reason, url, error);
        return false;
    }
    return true;
}

} // namespace

xmlDocPtr ParseDocument(const ParseRequest& request, ParseError* error) {
    EnsureInitialized();
    *error = ParseError{};
    ErrorCapture capture;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> parser(xmlNewParserCtxt(),
                                                                        &xmlFreeParserCtxt);
    if (!parser) {
        FillFailure(E_OUTOFMEMORY, u"Not enough memory to parse the document.\r\n", request.url, error);
        return nullptr;
    }
    int options = XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_BIG_LINES;
    if (!request.preserveWhiteSpace) {
        options |= XML_PARSE_NOBLANKS;
    }
    if (request.textIsUtf8) {
        options |= XML_PARSE_IGNORE_ENC;
    }
    std::string url = ToUtf8(request.url);
    xmlDocPtr doc = xmlCtxtReadMemory(
        parser.get(), request.bytes.data(), static_cast<int>(request.bytes.size()),
        url.empty() ? nullptr : url.c_str(), request.textIsUtf8 ? "UTF-8" : nullptr, options);
    const CapturedError* first = capture.FirstError();
    if (doc != nullptr && first == nullptr && parser->wellFormed && parser->nsWellFormed) {
        return doc;
    }
    if (doc != nullptr) {
        xmlFreeDoc(doc);
    }
    if (first != nullptr) {
        FillFromParser(*first, request, error);
    } else {
        FillFailure(HResultFromXmlError(XML_ERR_INTERNAL_ERROR), u"The document is not well-formed.\r\n",
                    request.url, error);
    }
    return nullptr;
}

bool ReadUrl(std::u16string_view url, std::string* bytes, ParseError* error) {
    if (StartsWithNoCase(url, u"res://")) {
        return ReadResource(url, bytes, error);
    }
    if (StartsWithNoCase(url, u"file://")) {
        return ReadFile(FilePathOfUrl(url), url, bytes, error);
    }
    if (HasScheme(url)) {
        FillFailure(E_ACCESSDENIED, u"Access to network resources is not allowed.\r\n", url, error);
        return false;
    }
    return ReadFile(ToUtf8(url), url, bytes, error);
}

} // namespace vr::xml::detail

namespace vr::xml {

void SetResourceResolver(ResourceResolver resolver) {
    std::lock_guard guard(detail::g_resolverLock);
    detail::g_resolver = std::move(resolver);
}

} // namespace vr::xml
