// The namespace URIs fixed once for the whole project, as UTF-16 literals.
#pragma once

namespace vr::xml {

inline constexpr char16_t kXsdNamespace[] = u"http://www.w3.org/2001/XMLSchema";
inline constexpr char16_t kXsiNamespace[] = u"http://www.w3.org/2001/XMLSchema-instance";
inline constexpr char16_t kMsXsltNamespace[] = u"urn:schemas-microsoft-com:xslt";
// `vrt`: object attributes, declared by the XML file class and used in adapter files.
inline constexpr char16_t kObjectAttributesNamespace[] = u"urn:vornic:object-attributes";
// `vra`: adapter annotations on message elements.
inline constexpr char16_t kAdapterAnnotationsNamespace[] = u"urn:vornic:adapter-annotations";
// The attribute collections' own built-in schemas.
inline constexpr char16_t kAttributesNamespace[] = u"urn:vornic:attributes";

} // namespace vr::xml
