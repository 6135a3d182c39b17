// Safety: external entities, DTDs, XInclude, schema imports and network URLs are never fetched; entity
// bombs are refused.
#include "platform/xml/schema.h"
#include "platform/xml/tests/xml_test_util.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vr::xml {
namespace {

using testing::NewDocument;

// A real listening socket on loopback that records whether anybody connected.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, 4), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    std::u16string Url(std::u16string_view path) const {
        return u"http://127.0.0.1:" + FromUtf8(std::to_string(port_)) + u"/" + std::u16string(path);
    }
    bool SomebodyConnected() const {
        pollfd poll{fd_, POLLIN, 0};
        return ::poll(&poll, 1, 200) > 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

std::string SecretFile() {
    return testing::WriteFile("secret.txt", "TOP-SECRET");
}

TEST(Safety, ExternalEntitiesAreNotRead) {
    std::u16string secret = FromUtf8(SecretFile());
    Document doc = NewDocument();
    HRESULT hr = doc.loadXML(u"<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + u"'>]><r>&x;</r>");
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(doc.documentElement().text().find(u"TOP-SECRET"), std::u16string::npos);
        EXPECT_EQ(doc.xml().find(u"TOP-SECRET"), std::u16string::npos);
    }
    EXPECT_LT(doc.loadXML(u"<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + u"'>]><r a='&x;'/>"), 0);
}

TEST(Safety, ExternalParameterEntitiesAreNotRead) {
    std::string dtd = testing::WriteFile("leak.dtd", "<!ENTITY leak 'TOP-SECRET'>");
    Document doc = NewDocument();
    HRESULT hr =
        doc.loadXML(u"<!DOCTYPE r [<!ENTITY % p SYSTEM 'file://" + FromUtf8(dtd) + u"'> %p;]><r>&leak;</r>");
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(doc.documentElement().text().find(u"TOP-SECRET"), std::u16string::npos);
    }
}

TEST(Safety, NoNetworkForDocumentsDtdsAndSchemas) {
    Listener listener;
    Document doc = NewDocument();
    EXPECT_EQ(doc.load(listener.Url(u"doc.xml")), E_ACCESSDENIED);
    EXPECT_EQ(doc.parseError().errorCode, E_ACCESSDENIED);
    EXPECT_EQ(doc.load(u"ftp://127.0.0.1/doc.xml"), E_ACCESSDENIED);
    (void)doc.loadXML(u"<!DOCTYPE r SYSTEM '" + listener.Url(u"r.dtd") + u"'><r/>");
    (void)doc.loadXML(u"<!DOCTYPE r [<!ENTITY e SYSTEM '" + listener.Url(u"e") + u"'>]><r>&e;</r>");

    SchemaCache cache;
    ASSERT_EQ(SchemaCache::Create(&cache), S_OK);
    Document schema = NewDocument();
    ASSERT_EQ(schema.loadXML(u"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
                             u"<xs:import namespace='urn:x' schemaLocation='" +
                             listener.Url(u"x.xsd") +
                             u"'/>"
                             u"<xs:element name='a' type='xs:int'/></xs:schema>"),
              S_OK);
    (void)cache.add(u"", schema);
    EXPECT_EQ(cache.add(u"urn:x", listener.Url(u"x.xsd")), E_ACCESSDENIED);
    EXPECT_FALSE(listener.SomebodyConnected());
}

TEST(Safety, SchemaIncludesOfFilesAreNotRead) {
    std::string other =
        testing::WriteFile("other.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
                                        "<xs:simpleType name='T'><xs:restriction base='xs:int'/>"
                                        "</xs:simpleType></xs:schema>");
    Document schema = NewDocument();
    ASSERT_EQ(schema.loadXML(u"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
                             u"<xs:include schemaLocation='" +
                             FromUtf8(other) +
                             u"'/>"
                             u"<xs:element name='a' type='T'/></xs:schema>"),
              S_OK);
    SchemaCache cache;
    ASSERT_EQ(SchemaCache::Create(&cache), S_OK);
    EXPECT_LT(cache.add(u"", schema), 0); // T stays unknown
}

TEST(Safety, XIncludeIsNotProcessed) {
    std::u16string secret = FromUtf8(SecretFile());
    Document doc = testing::Parse(u"<r xmlns:xi='http://www.w3.org/2001/XInclude'><xi:include href='" +
                                  secret + u"' parse='text'/></r>");
    EXPECT_EQ(doc.documentElement().firstChild().baseName(), u"include");
    EXPECT_EQ(doc.xml().find(u"TOP-SECRET"), std::u16string::npos);
}

TEST(Safety, EntityBombsAreRefused) {
    std::u16string text = u"<!DOCTYPE b [<!ENTITY a0 'lol'>";
    for (int i = 1; i <= 9; ++i) {
        std::u16string previous = u"&a" + FromUtf8(std::to_string(i - 1)) + u";";
        std::u16string value;
        for (int j = 0; j < 10; ++j) {
            value += previous;
        }
        text += u"<!ENTITY a" + FromUtf8(std::to_string(i)) + u" '" + value + u"'>";
    }
    text += u"]><b>&a9;</b>";
    auto start = std::chrono::steady_clock::now();
    Document doc = NewDocument();
    EXPECT_LT(doc.loadXML(text), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(Safety, InternalEntitiesStillWork) {
    Document doc = testing::Parse(u"<!DOCTYPE r [<!ENTITY v 'value'>]><r a='&v;'>x&v;y</r>");
    EXPECT_EQ(doc.documentElement().text(), u"xvaluey");
    std::u16string a;
    ASSERT_EQ(doc.documentElement().getAttribute(u"a", &a), S_OK);
    EXPECT_EQ(a, u"value");
    EXPECT_EQ(doc.documentElement().childNodes().item(1).nodeType(), NODE_ENTITY_REFERENCE);
}

} // namespace
} // namespace vr::xml
