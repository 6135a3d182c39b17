// libFuzzer target: arbitrary device adapter files (.daf) through the studio's model: loaded, every
// operation, message type and sequence read and written back as the studio's pages write them (a message
// type rebuilt by the message definition when it is one), saved, and loaded again.
// Oracle: what was read and written back loads again as the same adapter (settings, attributes, operations,
// message types, sequences), a rebuilt message definition rebuilds into itself, and saving again writes the
// same bytes; a file that is refused is one the XML layer refuses with a reason, and a save that fails says
// why.
//
// CI runs it for a bounded time through ctest (test "adapter_fuzz", built when clang++ is at hand and the
// build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/adapter_fuzz fuzz-corpus <build>/VrDev/Ostrel/model/fuzz/adapter_fuzz-seeds -max_len=16384 \
//       -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/adapter_fuzz crash-<hash>.
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "VrDev/Ostrel/model/MsgTypeDef.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "tests/support/fuzz_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Check(bool holds, const char* what, const std::string& input) {
    if (!holds) {
        std::fprintf(stderr, "adapter_fuzz: %s (%s) for:\n%s\n", what, vr::ToUtf8(LastErrorText()).c_str(),
                     input.c_str());
        std::abort();
    }
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Joined(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (const std::u16string& name : names) {
        text += name + u";";
    }
    return vr::ToUtf8(text);
}

// Everything the studio's pages show of the adapter, as one text.
std::string Outline(CDeviceAdapterFile& file) {
    std::string outline;
    for (const char16_t* setting : {u"timeout", u"termstring", u"defaultSelector"}) {
        std::u16string value = u"<none>";
        (void)file.GetDeviceSetting(setting, &value); // absent: "<none>" stays
        outline += vr::ToUtf8(value) + "|";
    }
    std::vector<std::u16string> attributes;
    (void)file.GetAttributeNames(attributes, nullptr); // a failed query lists nothing, on both sides alike
    for (const std::u16string& name : attributes) {
        std::u16string description;
        (void)file.GetAttributeDescription(name, &description);
        outline += "\nattribute " + vr::ToUtf8(name + u" " + description);
    }
    std::vector<std::u16string> operations;
    (void)file.GetOperationNames(operations);
    for (const std::u16string& name : operations) {
        CDeviceAdapterFile::Operation operation;
        (void)file.GetOperation(name, &operation);
        outline +=
            "\noperation " + vr::ToUtf8(operation.name + u"|" + operation.parameterOrder + u"|" +
                                        operation.result + u"|" + operation.inputMessage + u"|" +
                                        operation.outputMessage + u"|" + operation.timeout.value_or(u"-"));
    }
    std::vector<std::u16string> messages;
    (void)file.GetInputMessageNames(messages, nullptr);
    for (const std::u16string& name : messages) {
        vr::xml::Node type;
        (void)file.GetMessageType(name, &type);
        outline += "\nmessage " + vr::ToUtf8(name + u" " + (type ? type.xml() : u"-"));
    }
    for (auto sequence : {CDeviceAdapterFile::Sequence::Open, CDeviceAdapterFile::Sequence::Close}) {
        std::vector<std::u16string> steps;
        (void)file.GetSequence(sequence, &steps);
        outline += "\nsequence " + Joined(steps);
    }
    return outline;
}

// The studio's message definition of a stored type; false when the type is none it can read.
bool Rebuilt(const vr::xml::Node& type, vr::xml::Node* rebuilt) {
    CMsgTypeDef definition;
    return SUCCEEDED(definition.Load(type)) && SUCCEEDED(definition.GetMsgTypeDef(rebuilt));
}

// Writes back what the pages read: each message definition the studio can read (rebuilt), each operation,
// each sequence.
void WriteBack(CDeviceAdapterFile& file, const std::string& input) {
    std::vector<std::u16string> messages;
    (void)file.GetInputMessageNames(messages, nullptr);
    for (const std::u16string& name : messages) {
        vr::xml::Node type;
        vr::xml::Node rebuilt;
        if (file.GetMessageType(name, &type) != S_OK || !Rebuilt(type, &rebuilt)) {
            continue;
        }
        if (FAILED(file.SetMessageType(rebuilt))) {
            continue; // a refusal leaves the type as it was
        }
        // Read back from its schema, where the named simple types it uses are found.
        vr::xml::Node stored;
        vr::xml::Node twice;
        Check(file.GetMessageType(name, &stored) == S_OK && Rebuilt(stored, &twice) &&
                  twice.xml() == rebuilt.xml(),
              "a rebuilt message definition does not rebuild into itself", input);
    }
    std::vector<std::u16string> operations;
    (void)file.GetOperationNames(operations);
    for (const std::u16string& name : operations) {
        CDeviceAdapterFile::Operation operation;
        if (file.GetOperation(name, &operation) == S_OK) {
            (void)file.WriteOperation(operation); // one the socket could not run is refused, unchanged
        }
    }
    for (auto sequence : {CDeviceAdapterFile::Sequence::Open, CDeviceAdapterFile::Sequence::Close}) {
        std::vector<std::u16string> steps;
        if (SUCCEEDED(file.GetSequence(sequence, &steps))) {
            (void)file.SetSequence(sequence, steps);
        }
    }
}

bool XmlLoads(const std::string& path) {
    vr::xml::Document document;
    return SUCCEEDED(vr::xml::Document::Create(&document)) && SUCCEEDED(document.load(vr::FromUtf8(path))) &&
           document.documentElement();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrtest::MakeFuzzFolder("adapter-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string path = vrtest::FuzzFolder() + "/fuzzed.daf";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
    std::u16string wide = vr::FromUtf8(path);
    CDeviceAdapterFile file(wide.c_str());
    if (FAILED(file.Load())) {
        Check(!XmlLoads(path), "a file the XML layer loads was refused", input);
        return 0;
    }
    WriteBack(file, input);
    std::string outline = Outline(file);
    if (FAILED(file.Save())) {
        Check(!LastErrorText().empty(), "a failed save does not say why", input);
        return 0;
    }
    std::string saved = FileBytes(path);
    CDeviceAdapterFile again(wide.c_str());
    Check(SUCCEEDED(again.Load()), "a saved adapter does not load", input);
    Check(Outline(again) == outline, "the saved adapter is another one", input);
    Check(SUCCEEDED(again.Save()) && FileBytes(path) == saved, "saving again wrote other bytes", input);
    return 0;
}
