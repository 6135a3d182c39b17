// Device adapter files through the studio's model: the test adapters read, saved and driven through the
// instrument socket against the loopback instrument, and an adapter written from nothing and measured from a
// script.
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include "VrDev/Ostrel/model/tests/sample_message.h"
#include "common/trace/Trace.h"
#include "instrel.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"
#include "plugmar.h"
#include "tests/support/device_site.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace {

using ostreltest::SampleMessage;

namespace fs = std::filesystem;

std::string DataPath(const std::string& name) {
    return std::string(OSTREL_TEST_DATA) + "/" + name;
}

std::string Read(const vr::xml::Document& document) {
    return vr::ToUtf8(document.documentElement().xml());
}

// Message types of the test data whose sample no definition can read: a remark written after the values
// (msg_CountListResponse).
const std::set<std::u16string> kUnreadableSamples = {u"msg_CountListResponse"};

// The text of a message type's sample comment.
std::string SampleComment(const vr::xml::Node& complexType) {
    vr::xml::Node comment;
    EXPECT_EQ(complexType.selectSingleNode(u"comment()[starts-with(., 'MessageTextSample: ')]", &comment),
              S_OK);
    return comment ? vr::ToUtf8(comment.nodeValue()) : std::string();
}

// The type="..." values of a message type's elements, in document order.
std::string TypesNamed(const vr::xml::Node& complexType) {
    vr::xml::NodeList elements;
    EXPECT_EQ(complexType.selectNodes(u".//*[local-name() = 'element']/@type", &elements), S_OK);
    std::string types;
    for (const vr::xml::Node& type : elements) {
        types += vr::ToUtf8(type.nodeValue()) + " ";
    }
    return types;
}

// The layout of a node's content: the text before its first child, and before its end tag.
std::u16string OuterLayout(const vr::xml::Node& node) {
    const vr::xml::Node first = node.firstChild();
    const vr::xml::Node last = node.lastChild();
    auto text = [](const vr::xml::Node& child) {
        return child && child.nodeType() == vr::xml::NODE_TEXT ? child.nodeValue() : u"-";
    };
    return text(first) + u"|" + text(last);
}

class AdapterFileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = fs::temp_directory_path() / ("ostrel-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        socket_ = nullptr;
        visa_ = nullptr;
        CoUninitialize();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::u16string Temp(const std::string& name) { return vr::FromUtf8((folder_ / name).string()); }

    // A socket on the adapter file over a VISA connection to the loopback instrument.
    void Connect(const std::u16string& adapter, const std::string& answerEnd) {
        ASSERT_TRUE(instrument_.Start(answerEnd));
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(kCnVisaIndependentProgId, &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(),
                                   visa_.PutVoid()),
                  S_OK);
        _bstr_t resource(vr::FromUtf8(instrument_.SocketResource()).c_str());
        _bstr_t none(u"");
        ASSERT_EQ(visa_->Init(resource, none, 2000, _NO_LOCK), S_OK);
        ASSERT_EQ(CLSIDFromProgID(u"Vornic.Socket", &clsid), S_OK);
        ASSERT_EQ(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<ISocket>(), socket_.PutVoid()),
            S_OK);
        _bstr_t options((u"AdapterFile=" + adapter).c_str());
        _variant_t connection(static_cast<IUnknown*>(visa_.Get()));
        HRESULT hr = socket_->Init(options, connection);
        ASSERT_EQ(hr, S_OK) << vr::ToUtf8(ErrorText());
    }
    static std::u16string ErrorText() {
        vr::ComPtr<IErrorInfo> info;
        BSTR text = nullptr;
        if (GetErrorInfo(0, info.Put()) != S_OK || FAILED(info->GetDescription(&text))) {
            return {};
        }
        std::u16string result(vr::BstrView(text));
        SysFreeString(text);
        return result;
    }
    // dev.name read by IDispatch, as a script engine reads it.
    _variant_t Get(const std::u16string& name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(socket_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        DISPPARAMS none{};
        _variant_t result;
        EXPECT_EQ(socket_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                                  nullptr, nullptr),
                  S_OK)
            << vr::ToUtf8(name);
        return result;
    }

    // dev.name(args...) as a script calls it; args in script order.
    HRESULT Call(const std::u16string& name, std::vector<_variant_t> args) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(socket_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        _variant_t result;
        return socket_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                               nullptr);
    }
    // A raw exchange on the socket's connection.
    std::u16string Query(const std::u16string& command) {
        _bstr_t text(command.c_str());
        BSTR answer = nullptr;
        EXPECT_EQ(socket_->QueryString(text, _variant_t(u"\n"), vr::MissingArgument(), vr::MissingArgument(),
                                       &answer),
                  S_OK);
        std::u16string result(vr::BstrView(answer));
        SysFreeString(answer);
        return result;
    }

    fs::path folder_;
    vrvisatest::LoopbackInstrument instrument_;
    vr::ComPtr<IVrConnection> visa_;
    vr::ComPtr<ISocket> socket_;
};

class TestAdapters : public AdapterFileTest, public testing::WithParamInterface<const char*> {
protected:
    // A type without a sample is refused naming the line to add: the text the socket composes for a type of
    // fixed texts only, which then loads as it is, or a placeholder for a type that needs values.
    void ExpectTheNamedSampleLineLoads(vr::xml::Node type) {
        const std::u16string refusal = LastErrorText();
        const std::u16string lead = u"Add the comment <!--MessageTextSample: ";
        const size_t at = refusal.find(lead);
        const size_t end = refusal.find(u"--> as the first line of its complexType.", at);
        ASSERT_TRUE(at != std::u16string::npos && end != std::u16string::npos) << vr::ToUtf8(refusal);
        const std::u16string sample = refusal.substr(at + lead.size(), end - at - lead.size());
        bool fixedOnly = true;
        vr::xml::NodeList elements;
        ASSERT_EQ(type.selectNodes(u".//*[local-name()='element']", &elements), S_OK);
        for (const vr::xml::Node& element : elements) {
            std::u16string fixed;
            fixedOnly = fixedOnly && element.getAttribute(u"fixed", &fixed) == S_OK;
        }
        EXPECT_EQ(sample == u"(the text of one message)", !fixedOnly) << vr::ToUtf8(refusal);
        vr::xml::Node comment;
        ASSERT_EQ(type.ownerDocument().createComment(u"MessageTextSample: " + sample, &comment), S_OK);
        ASSERT_EQ(type.insertBefore(comment, type.firstChild()), S_OK);
        CMsgTypeDef definition;
        if (fixedOnly) {
            EXPECT_EQ(definition.Load(type), S_OK) << vr::ToUtf8(refusal) << vr::ToUtf8(LastErrorText());
        }
        ASSERT_EQ(type.removeChild(comment), S_OK);
    }
};

TEST_P(TestAdapters, LoadSaveUnchangedDefineAgainAndDriveTheSocket) {
    const std::string name = GetParam();
    CDeviceAdapterFile original(vr::FromUtf8(DataPath(name)).c_str());
    std::vector<std::u16string> messages;
    ASSERT_EQ(original.GetNames(messages, CDeviceAdapterFile::kMessageNames, nullptr), S_OK);
    ASSERT_FALSE(messages.empty());
    const std::string before = Read(original.GetDocument());
    // Every operation read and written back by the model leaves the document as it was.
    std::vector<std::u16string> operations;
    ASSERT_EQ(original.GetOperationNames(operations), S_OK);
    for (const std::u16string& operation : operations) {
        CDeviceAdapterFile::Operation read;
        ASSERT_EQ(original.GetOperation(operation, &read), S_OK);
        ASSERT_EQ(original.WriteOperation(read), S_OK) << vr::ToUtf8(operation);
    }
    EXPECT_EQ(Read(original.GetDocument()), before);
    const std::u16string copy = Temp(name);
    ASSERT_EQ(original.SetFileName(copy.c_str()), S_OK);
    ASSERT_EQ(original.Save(), S_OK);
    CDeviceAdapterFile saved(copy.c_str());
    ASSERT_EQ(saved.Load(), S_OK);
    EXPECT_EQ(Read(saved.GetDocument()), before);

    // Every message with a sample is read as a definition whose own build parses that sample and names the
    // types its elements had; one without a sample, or with one that does not parse, is refused, saying so,
    // and leaves the definition empty.
    for (const std::u16string& message : messages) {
        vr::xml::Node type;
        ASSERT_EQ(saved.GetMessageType(message, &type), S_OK);
        const bool hasSample = vr::ToUtf8(type.xml()).find("<!--MessageTextSample: ") != std::string::npos;
        CMsgTypeDef definition;
        const HRESULT loaded = definition.Load(type);
        if (!hasSample || kUnreadableSamples.contains(message)) {
            EXPECT_EQ(loaded, E_FAIL) << vr::ToUtf8(message);
            EXPECT_NE(LastErrorText().find(hasSample ? u"Parse(" : u"doesn't have Sample Message Text"),
                      std::u16string::npos);
            EXPECT_TRUE(definition.IsSampleEmpty() && definition.Elements().empty()) << vr::ToUtf8(message);
            if (!hasSample) {
                ExpectTheNamedSampleLineLoads(type);
            }
            continue;
        }
        ASSERT_EQ(loaded, S_OK) << vr::ToUtf8(message) << ": " << vr::ToUtf8(LastErrorText());
        EXPECT_EQ(definition.ParseText(definition.Sample()), S_OK) << vr::ToUtf8(message);
        vr::xml::Node rebuilt;
        ASSERT_EQ(definition.GetMsgTypeDef(&rebuilt), S_OK);
        EXPECT_EQ(TypesNamed(rebuilt), TypesNamed(type)) << vr::ToUtf8(message);
        EXPECT_EQ(SampleComment(rebuilt), SampleComment(type)) << vr::ToUtf8(message);
        // Written back (as after a changed sample), it is laid out with the indentation the file has.
        const std::u16string written = OuterLayout(type);
        ASSERT_EQ(saved.SetMessageType(rebuilt), S_OK);
        vr::xml::Node stored;
        ASSERT_EQ(saved.GetMessageType(message, &stored), S_OK);
        EXPECT_EQ(vr::ToUtf8(OuterLayout(stored)), vr::ToUtf8(written)) << vr::ToUtf8(stored.xml());
    }

    Connect(copy, name.find("powersupply") != std::string::npos ? "\\r\\n" : "\\n");
    if (name == "plugmar_multimeter.daf") {
        _variant_t model = Get(u"Model");
        EXPECT_EQ(model.vt, VT_BSTR);
        EXPECT_EQ(vr::ToUtf8(vr::BstrView(model.bstrVal)), "LOOPBACK");
    }
    if (name == "xlatrix_multimeter.daf") {
        ASSERT_EQ(Call(u"ConfVolt", {_variant_t(10.0), _variant_t(0.0001)}), S_OK) << vr::ToUtf8(ErrorText());
        EXPECT_EQ(vr::ToUtf8(Query(u"CONF:VOLT:DC?\n")), "10.000,0.000100\n");
    }
    if (name == "union_limits.daf") {          // the saved file's union takes a word and a number
        _variant_t start = Get(u"StartLimit"); // an attribute of the union: text
        ASSERT_EQ(start.vt, VT_BSTR) << vr::ToUtf8(ErrorText());
        EXPECT_EQ(vr::ToUtf8(vr::BstrView(start.bstrVal)), "MAX");
        ASSERT_EQ(Call(u"Beep", {}), S_OK) << vr::ToUtf8(ErrorText());
        for (const char16_t* limit : {u"MAX", u"1.5"}) {
            std::u16string command = u"CURR:LIM " + std::u16string(limit) + u"\n";
            EXPECT_EQ(vr::ToUtf8(Query(command + u"CURR:LIM?\n")), vr::ToUtf8(std::u16string(limit)) + "\n");
            _variant_t read = Get(u"Limit");
            ASSERT_EQ(read.vt, VT_BSTR) << vr::ToUtf8(ErrorText());
            EXPECT_EQ(vr::ToUtf8(vr::BstrView(read.bstrVal)), vr::ToUtf8(std::u16string(limit)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Data, TestAdapters,
                         testing::Values("plugmar_multimeter.daf", "plugmar_powersupply.daf",
                                         "xlatrix_blockdevice.daf", "xlatrix_multimeter.daf",
                                         "xlatrix_powersupply.daf", "union_limits.daf"));

TEST_F(AdapterFileTest, NameQueriesAttributesAndSequences) {
    CDeviceAdapterFile file(Temp("names.daf").c_str());
    ASSERT_EQ(file.CreateFromBlank(), S_OK);
    ASSERT_EQ(file.AddAttribute(u"Range"), S_OK);
    ASSERT_EQ(file.AddAttribute(u"Channel"), S_OK);
    ASSERT_EQ(file.AddAttribute(u"Plain"), S_OK);
    EXPECT_EQ(file.AddAttribute(u"Range"), E_INVALIDARG);
    ASSERT_EQ(file.SetAttributeDescription(u"Channel", u"type=int vrt:class=InnerSelector vrt:cache=true"),
              S_OK);
    ASSERT_EQ(file.SetAttributeDescription(u"Plain", u"type=double"), S_OK);
    std::vector<std::u16string> names;
    ASSERT_EQ(file.GetAttributeNames(names, u"Attribute"), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Range", u"Plain"}));
    names.clear();
    ASSERT_EQ(file.GetNames(names, CDeviceAdapterFile::kAttributeNames, u"InnerSelector"), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Channel"}));

    // Message kinds by their names.
    for (const char16_t* message : {u"msgA", u"msgAResponse", u"x", u"it's"}) {
        CMsgTypeDef definition;
        definition.Init("A\n", vr::ToLatin1(message), "\n", u"xsd", u"vra:substitution=enumeration");
        vr::xml::Node type;
        ASSERT_EQ(definition.GetMsgTypeDef(&type), S_OK);
        ASSERT_EQ(file.SetMessageType(type), S_OK);
    }
    names.clear();
    ASSERT_EQ(file.GetInputMessageNames(names, u"InputMessage"), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"msgA", u"x", u"it's"}));
    names.clear();
    ASSERT_EQ(file.GetInputMessageNames(names, u"OutputMessage"), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"msgAResponse"}));
    ASSERT_EQ(file.GetInputMessageNames(names, u"Other"), S_OK);
    EXPECT_EQ(names.size(), 1u);

    // Operations written twice stay one; sequences keep only operations that exist.
    CDeviceAdapterFile::Operation operation{u"it's", u"", u"", u"it's", u"", std::nullopt};
    ASSERT_EQ(file.WriteOperation(operation), S_OK);
    operation.outputMessage = u"msgAResponse";
    operation.timeout = u"500";
    ASSERT_EQ(file.WriteOperation(operation), S_OK);
    EXPECT_EQ(file.WriteOperation({u"bad", u"", u"", u"nothing", u"", std::nullopt}), E_INVALIDARG);
    names.clear();
    ASSERT_EQ(file.GetOperationNames(names), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"it's"}));
    CDeviceAdapterFile::Operation read;
    ASSERT_EQ(file.GetOperation(u"it's", &read), S_OK);
    EXPECT_EQ(read.outputMessage, u"msgAResponse");
    EXPECT_EQ(read.timeout, u"500");
    // Without its messages an operation keeps only what the socket uses without one.
    EXPECT_EQ(file.WriteOperation({u"it's", u"", u"", u"", u"", std::nullopt}), E_INVALIDARG);
    operation.outputMessage.clear();
    ASSERT_EQ(file.WriteOperation(operation), S_OK);
    ASSERT_EQ(file.GetOperation(u"it's", &read), S_OK);
    EXPECT_EQ(read.timeout, std::nullopt);

    ASSERT_EQ(file.SetSequence(CDeviceAdapterFile::Sequence::Open, {u"none", u"it's"}), S_OK);
    ASSERT_EQ(file.SetSequence(CDeviceAdapterFile::Sequence::Close, {u"none"}), S_OK);
    std::vector<std::u16string> open;
    ASSERT_EQ(file.GetSequence(CDeviceAdapterFile::Sequence::Open, &open), S_OK);
    EXPECT_EQ(open, (std::vector<std::u16string>{u"it's"}));
    std::u16string value;
    EXPECT_EQ(file.GetDeviceSetting(u"open", &value), S_OK);
    EXPECT_EQ(file.GetDeviceSetting(u"close", &value), S_FALSE);
    ASSERT_EQ(file.SetDeviceSetting(u"timeout", u"1500"), S_OK);
    ASSERT_EQ(file.SetDeviceSetting(u"timeout", u"<Undefined>"), S_OK);
    EXPECT_EQ(file.GetDeviceSetting(u"timeout", &value), S_FALSE);
    ASSERT_EQ(file.Save(), S_OK);
    CDeviceAdapterFile saved(Temp("names.daf").c_str());
    ASSERT_EQ(saved.Load(), S_OK);
    vr::xml::NodeList actions;
    ASSERT_EQ(saved.GetDocument().selectNodes(u"//action", &actions), S_OK);
    EXPECT_EQ(actions.length(), 1);
}

TEST_F(AdapterFileTest, AnAdapterWrittenFromNothingMeasuresTheLoopbackInstrumentFromAScript) {
    const std::u16string path = Temp("loopback.daf");
    {
        CDeviceAdapterFile file(path.c_str());
        ASSERT_EQ(file.CreateFromBlank(), S_OK);
        ASSERT_EQ(file.SetDeviceSetting(u"timeout", u"2000"), S_OK);
        ASSERT_EQ(file.SetDeviceSetting(u"termstring", u"\n"), S_OK);
        ASSERT_EQ(file.AddAttribute(u"Channel"), S_OK);
        ASSERT_EQ(
            file.SetAttributeDescription(u"Channel", u"type=int vrt:class=InnerSelector vrt:cache=true"),
            S_OK);
        const GapMode command = GapMode::Fixed;
        const GapMode response = GapMode::Pattern;
        for (const vr::xml::Node& type : {
                 SampleMessage("msg_SetVolt", "VOLT1 12.500\n", command,
                               {{6, 12, u"type=double name=volt vra:format=%.3f"}}),
                 SampleMessage("msg_GetVolt", "VOLT1?\n", command, {}),
                 SampleMessage("msg_GetVoltResponse", "12.500\n", response,
                               {{0, 6, u"type=double name=volt"}}),
                 SampleMessage("msg_Idn", "*IDN?\n", command, {}),
                 SampleMessage("msg_IdnResponse", "VORNIC,LOOPBACK,0,1.0\n", response,
                               {{0, 7, u"type=string name=_strKey1 fixed='VORNIC,'"},
                                {7, 15, u"type=string name=model"},
                                {15, 16, u"type=string name=_strKey2 fixed=','"}}),
                 SampleMessage("msg_Clear", "*CLS\n", command, {}),
             }) {
            ASSERT_EQ(file.SetMessageType(type), S_OK);
        }
        using Op = CDeviceAdapterFile::Operation;
        ASSERT_EQ(file.WriteOperation(Op{u"set_Volt", u"volt", u"", u"msg_SetVolt", u"", u"100"}), S_OK);
        ASSERT_EQ(
            file.WriteOperation(Op{u"get_Volt", u"", u"volt", u"msg_GetVolt", u"msg_GetVoltResponse", {}}),
            S_OK);
        ASSERT_EQ(file.WriteOperation(Op{u"get_Model", u"", u"model", u"msg_Idn", u"msg_IdnResponse", {}}),
                  S_OK);
        ASSERT_EQ(file.WriteOperation(Op{u"Clear", u"", u"", u"msg_Clear", u"", {}}), S_OK);
        ASSERT_EQ(file.SetSequence(CDeviceAdapterFile::Sequence::Open, {u"Clear"}), S_OK);
        ASSERT_EQ(file.Save(), S_OK);
    }
    // A write-only command has no output to wait for.
    CDeviceAdapterFile written(path.c_str());
    vr::xml::NodeList outputs;
    ASSERT_EQ(written.Load(), S_OK);
    ASSERT_EQ(written.GetDocument().selectNodes(u"/definitions/operation[@name='set_Volt']/*", &outputs),
              S_OK);
    EXPECT_EQ(outputs.length(), 1);

    Connect(path, "\\n");
    EXPECT_EQ(vrtest::RunDeviceScript(socket_.Get(),
                                      {u"dev.Volt = 7.25;\nvar result = dev.Volt * 2 + ' ' + dev.Model;\n"}),
              "14.5 LOOPBACK");
}

} // namespace
