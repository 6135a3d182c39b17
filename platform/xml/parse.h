// Parsing XML text into a libxml2 document, with every error turned into a ParseError.
#pragma once

#include "platform/xml/dom.h"

#include <libxml/tree.h>

#include <string>
#include <string_view>

namespace vr::xml::detail {

struct ParseRequest {
    std::string_view bytes;
    std::u16string url;      // for the ParseError and the document; empty for text
    bool textIsUtf8 = false; // true for loadXML: the bytes are UTF-8 whatever the declaration says
    bool preserveWhiteSpace = false;
};

// The parsed document, or null with *error filled. Never fetches anything: no DTD, no entity, no network.
xmlDocPtr ParseDocument(const ParseRequest& request, ParseError* error);

// Reads what a URL names: a "res://" URL through the resource resolver, a "file://" URL or a path from the
// file system. Network URLs are refused. On failure fills *error and returns false.
bool ReadUrl(std::u16string_view url, std::string* bytes, ParseError* error);

} // namespace vr::xml::detail
