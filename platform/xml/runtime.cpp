// Process-wide set-up of libxml2: silent error handlers, error capture per thread and the guarded entity
// loader.
#include "platform/xml/runtime.h"

#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <atomic>
#include <map>
#include <mutex>

namespace vr::xml::detail {
namespace {

void SilentGeneric(void*, const char*, ...) {}
void SilentStructured(void*, xmlErrorPtr) {}

// The texts the entity loader may serve, by URL. Everything else is refused: no files, no network.
struct TextRegistry {
    std::mutex lock;
    std::map<std::string, std::string> texts;
    std::atomic<uint64_t> counter{0};
};

TextRegistry& Registry() {
    static auto* registry = new TextRegistry(); // never destroyed: loaders may run during static teardown
    return *registry;
}

xmlParserInputPtr GuardedEntityLoader(const char* url, const char*, xmlParserCtxtPtr context) {
    if (url == nullptr) {
        return nullptr;
    }
    TextRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    auto found = registry.texts.find(url);
    if (found == registry.texts.end()) {
        return nullptr; // the caller reports "failed to load external entity"
    }
    xmlParserInputPtr input = xmlNewStringInputStream(context, AsXml(found->second));
    if (input != nullptr) {
        input->filename = reinterpret_cast<const char*>(xmlStrdup(reinterpret_cast<const xmlChar*>(url)));
    }
    return input;
}

thread_local std::u16string t_errorDescription;

} // namespace

void EnsureInitialized() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(&GuardedEntityLoader);
        // Threads that start using libxml2 later begin silent; the current thread is made silent here.
        xmlThrDefSetGenericErrorFunc(nullptr, &SilentGeneric);
        xmlThrDefSetStructuredErrorFunc(nullptr, &SilentStructured);
        xmlSetGenericErrorFunc(nullptr, &SilentGeneric);
        xmlSetStructuredErrorFunc(nullptr, &SilentStructured);
    });
}

ErrorCapture::ErrorCapture() {
    EnsureInitialized(); // every use of libxml2 runs under a capture, so this is the one place to start it
    previousStructured_ = xmlStructuredError;
    previousStructuredContext_ = xmlStructuredErrorContext;
    previousGeneric_ = xmlGenericError;
    previousGenericContext_ = xmlGenericErrorContext;
    xmlSetStructuredErrorFunc(this, &ErrorCapture::OnError);
    xmlSetGenericErrorFunc(nullptr, &SilentGeneric);
}

ErrorCapture::~ErrorCapture() {
    xmlSetStructuredErrorFunc(previousStructuredContext_, previousStructured_);
    xmlSetGenericErrorFunc(previousGenericContext_, previousGeneric_);
}

void ErrorCapture::OnError(void* self, xmlErrorPtr error) {
    if (error == nullptr) {
        return;
    }
    CapturedError captured;
    captured.domain = error->domain;
    captured.code = error->code;
    captured.level = error->level;
    captured.line = error->line;
    captured.column = error->int2;
    captured.message = error->message ? error->message : "";
    while (!captured.message.empty() &&
           (captured.message.back() == '\n' || captured.message.back() == '\r')) {
        captured.message.pop_back();
    }
    captured.file = error->file ? error->file : "";
    captured.node = error->node;
    static_cast<ErrorCapture*>(self)->errors_.push_back(std::move(captured));
}

const CapturedError* ErrorCapture::FirstError() const {
    for (const CapturedError& error : errors_) {
        if (error.IsError()) {
            return &error;
        }
    }
    return nullptr;
}

HRESULT HResultFromXmlError(int code) {
    return static_cast<HRESULT>(0xC00CE000u + (static_cast<uint32_t>(code) & 0x1FFFu));
}

void SetErrorDescription(std::u16string text) {
    t_errorDescription = std::move(text);
}
void ClearErrorDescription() {
    t_errorDescription.clear();
}

HRESULT Fail(HRESULT hr, std::u16string text) {
    SetErrorDescription(std::move(text));
    return hr;
}

std::u16string DescribeSchemaError(const CapturedError& error) {
    std::string location = error.file.empty() ? "schema" : error.file;
    location += "#line " + std::to_string(error.line);
    return FromUtf8(location) + u"\r\n" + FromUtf8(error.message) + u"\r\n";
}

std::string EscapeAttributeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

ServedTexts::~ServedTexts() {
    TextRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const std::string& url : urls_) {
        registry.texts.erase(url);
    }
}

std::string ServedTexts::Serve(std::string text) {
    TextRegistry& registry = Registry();
    std::string url = "vr-schema:" + std::to_string(++registry.counter);
    std::lock_guard guard(registry.lock);
    registry.texts.emplace(url, std::move(text));
    urls_.push_back(url);
    return url;
}

} // namespace vr::xml::detail

namespace vr::xml {

std::u16string ErrorDescription() {
    return detail::t_errorDescription;
}

} // namespace vr::xml
