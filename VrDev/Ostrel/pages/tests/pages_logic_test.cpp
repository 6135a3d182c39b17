// The adapter file sheet's Device and Attributes pages without widgets, on copies of real adapter files;
// and an adapter whose device settings, sequence and attribute were made on the pages, driving the socket
// against the loopback instrument.
#include "VrDev/Ostrel/model/MsgTypeDef.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/pages/AttributesPageModel.h"
#include "VrDev/Ostrel/pages/DevicePageModel.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"
#include "platform/ui/message_box.h"

#include "VrDev/Ostrel/model/tests/sample_message.h"
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
#include <unistd.h>

namespace {

using ostreltest::SampleMessage;

namespace fs = std::filesystem;
using namespace ostrel;
using Sequence = CDeviceAdapterFile::Sequence;
using ostrel::ActionEntry;

// The sheet's context as the pages see it, its boxes recorded, on a file that loads.
struct Sheet {
    explicit Sheet(const std::u16string& path) : context(messages) {
        EXPECT_EQ(context.SetAdapterFile(path), S_OK);
    }
    CDeviceAdapterFile& file() { return context.Document(); }
    RecordingMessages messages;
    SheetContext context;
};

// The attribute names the file on disk holds.
std::vector<std::u16string> NamesOnDisk(const std::u16string& path) {
    CDeviceAdapterFile file(path.c_str());
    std::vector<std::u16string> names;
    EXPECT_EQ(file.GetAttributeNames(names, nullptr), S_OK);
    return names;
}

class PagesLogicTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = fs::temp_directory_path() / ("ostrel-pages-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        CoUninitialize();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    // A copy of a test adapter file.
    std::u16string Copy(const std::string& name) {
        fs::copy_file(fs::path(OSTREL_TEST_DATA) / name, folder_ / name,
                      fs::copy_options::overwrite_existing);
        return vr::FromUtf8((folder_ / name).string());
    }
    std::u16string Blank(const std::string& name) {
        const std::u16string path = vr::FromUtf8((folder_ / name).string());
        CDeviceAdapterFile file(path.c_str());
        EXPECT_EQ(file.CreateFromBlank(), S_OK);
        EXPECT_EQ(file.Save(), S_OK);
        return path;
    }
    fs::path folder_;
};

TEST_F(PagesLogicTest, SequencesKeepTheLinesThatNameOperationsAndShowWhereTheOthersAre) {
    Sheet host(Copy("plugmar_multimeter.daf"));
    DevicePageModel page(host.context);
    std::u16string text;
    ASSERT_EQ(page.SequenceText(Sequence::Open, &text), S_OK);
    EXPECT_EQ(text.substr(0, 6), u"Reset\n");

    // Windows line ends and empty lines count as one; a trailing blank or another case names nothing.
    const std::u16string edited = u"Reset\r\n\r\nIdentify\nReset \nreset\nReset";
    std::vector<TextSpan> unknown;
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, edited, &unknown), S_OK);
    EXPECT_EQ(unknown, (std::vector<TextSpan>{{edited.find(u"Reset "), 6}, {edited.find(u"reset"), 5}}));
    std::vector<std::u16string> sequence;
    ASSERT_EQ(host.file().GetSequence(Sequence::Open, &sequence), S_OK);
    EXPECT_EQ(sequence, (std::vector<std::u16string>{u"Reset", u"Identify", u"Reset"}));

    // Removing an operation takes it out of the sequence; typed again, it is shown as naming nothing.
    ASSERT_EQ(host.file().RemoveOperation(u"Identify"), S_OK);
    ASSERT_EQ(host.file().GetSequence(Sequence::Open, &sequence), S_OK);
    EXPECT_EQ(sequence, (std::vector<std::u16string>{u"Reset", u"Reset"}));
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"Reset\nIdentify\n", &unknown), S_OK);
    EXPECT_EQ(unknown, (std::vector<TextSpan>{{6, 8}}));

    // An empty list leaves neither the device's attribute nor the action.
    ASSERT_EQ(page.TakeSequenceText(Sequence::Close, u"\n\n", &unknown), S_OK);
    std::u16string value;
    EXPECT_EQ(host.file().GetDeviceSetting(u"close", &value), S_FALSE);
    vr::xml::NodeList actions;
    ASSERT_EQ(host.file().GetDocument().selectNodes(u"/definitions/action[@name='_Close']", &actions), S_OK);
    EXPECT_EQ(actions.length(), 0);
    EXPECT_EQ(host.file().GetDeviceSetting(u"open", &value), S_OK);
}

TEST_F(PagesLogicTest, DefaultValuesShowUndefinedForWhatIsAbsentAndRefuseATimeOutThatIsNoNumber) {
    Sheet host(Copy("plugmar_powersupply.daf"));
    DevicePageModel page(host.context);
    DevicePageModel::Defaults defaults;
    ASSERT_EQ(page.ReadDefaults(&defaults), S_OK);
    EXPECT_EQ(defaults.timeout, u"1000");
    EXPECT_EQ(defaults.termString, u"\\r\\n"); // line ends typed and shown escaped
    EXPECT_EQ(defaults.defaultSelector, u"channel");

    EXPECT_EQ(page.SetDefault(kTimeoutRow, u"1.5"), E_INVALIDARG);
    EXPECT_EQ(page.RefusalText(), u"'1.5' is no whole number from -2147483648 to 2147483647.");
    EXPECT_EQ(page.SetDefault(kTimeoutRow, u"0x20"), S_OK);
    EXPECT_EQ(page.SetDefault(kTermStringRow, u"\\n\\\\x"), S_OK);
    std::u16string written;
    ASSERT_EQ(host.file().GetDeviceSetting(u"termstring", &written), S_OK);
    EXPECT_EQ(written, u"\n\\x");
    EXPECT_EQ(page.SetDefault(kTermStringRow, u""), S_OK);
    EXPECT_EQ(page.SetDefault(kDefaultSelectorRow, u"<Undefined>"), S_OK);
    EXPECT_EQ(page.SetDefault(u"Name", u"x"), S_FALSE);
    ASSERT_EQ(page.ReadDefaults(&defaults), S_OK);
    EXPECT_EQ(defaults.timeout, u"0x20");
    EXPECT_EQ(defaults.termString, u"");
    EXPECT_EQ(defaults.defaultSelector, u"<Undefined>");

    std::vector<std::u16string> selectors;
    ASSERT_EQ(page.SelectorChoices(&selectors), S_OK);
    EXPECT_EQ(selectors, (std::vector<std::u16string>{u"Bank", u"Channel"}));
}

TEST_F(PagesLogicTest, AttributesAreCreatedEditedAndRemovedAndEveryChangeIsWritten) {
    const std::u16string path = Blank("attributes.daf");
    Sheet host(path);
    CElementEditorModel editor;
    AttributesPageModel page(host.context, editor);
    page.Init();
    EXPECT_EQ(page.CurrentName(), u"<Undefined>");
    EXPECT_EQ(page.Editor().StatusText(), u"No Attributes are defined.");
    EXPECT_TRUE(page.Editor().Rows().empty());
    page.OnElementChanged(u"type=int");
    EXPECT_FALSE(page.RemoveEnabled());

    page.OnNew(u"Channel");
    EXPECT_EQ(NamesOnDisk(path), (std::vector<std::u16string>{u"Channel"}));
    EXPECT_EQ(page.CurrentName(), u"Channel");
    EXPECT_TRUE(page.RemoveEnabled());

    // An integer may be a selector; the change is written at once.
    std::optional<std::u16string> sent = page.Editor().EditRow(u"vrt:class", u"InnerSelector");
    ASSERT_TRUE(sent) << Narrow(page.Editor().StatusText());
    page.OnElementChanged(*sent);
    EXPECT_TRUE(host.messages.boxes.empty());
    {
        CDeviceAdapterFile onDisk(path.c_str());
        std::vector<std::u16string> selectors;
        ASSERT_EQ(onDisk.GetAttributeNames(selectors, u"InnerSelector"), S_OK);
        EXPECT_EQ(selectors, (std::vector<std::u16string>{u"Channel"}));
    }
    const std::u16string& diagnostic = page.DiagnosticText();
    EXPECT_NE(diagnostic.find(u"<definitions", diagnostic.find(u"### File XML ###\r\n{")),
              std::u16string::npos);
    EXPECT_NE(page.DiagnosticText().find(u"InnerSelector"), std::u16string::npos);

    // A string is always a plain attribute; choosing another name shows it and writes nothing for Channel.
    page.OnNew(u"Label");
    sent = page.Editor().EditRow(u"type", u"string");
    ASSERT_TRUE(sent) << Narrow(page.Editor().StatusText());
    page.OnElementChanged(*sent);
    std::u16string description;
    ASSERT_EQ(host.file().GetAttributeDescription(u"Label", &description), S_OK);
    EXPECT_EQ(ItemOf(description, u"type"), u"string");
    EXPECT_EQ(ItemOf(description, u"vrt:class"), u"Attribute");
    sent = page.Editor().EditRow(u"name", u"Channel");
    ASSERT_TRUE(sent);
    page.OnElementChanged(*sent);
    EXPECT_EQ(page.CurrentName(), u"Channel");
    ASSERT_EQ(host.file().GetAttributeDescription(u"Channel", &description), S_OK);
    EXPECT_EQ(ItemOf(description, u"vrt:class"), u"InnerSelector");

    // New on a taken name asks first; no keeps the attribute, yes makes it a fresh integer attribute.
    host.messages.answers = {IDNO, IDYES};
    page.OnNew(u"Channel");
    ASSERT_EQ(host.messages.boxes.size(), 1u);
    EXPECT_EQ(host.messages.LastText(),
              u"The attribute 'Channel' exists already. Replace it by a new integer attribute?");
    ASSERT_EQ(host.file().GetAttributeDescription(u"Channel", &description), S_OK);
    EXPECT_EQ(ItemOf(description, u"vrt:class"), u"InnerSelector");
    page.OnNew(u"Channel");
    ASSERT_EQ(host.file().GetAttributeDescription(u"Channel", &description), S_OK);
    EXPECT_EQ(ItemOf(description, u"vrt:class"), u"Attribute");
    EXPECT_EQ(NamesOnDisk(path), (std::vector<std::u16string>{u"Channel", u"Label"}));

    // A removal is written at once; one whose file cannot be written says so and stays pending.
    page.OnRemove();
    EXPECT_EQ(NamesOnDisk(path), (std::vector<std::u16string>{u"Label"}));
    EXPECT_EQ(page.CurrentName(), u"Label");
    const fs::path away = folder_.string() + "-away";
    fs::rename(folder_, away); // the file cannot be written where it was
    page.OnRemove();
    fs::rename(away, folder_);
    ASSERT_EQ(host.messages.boxes.size(), 3u);
    EXPECT_EQ(host.messages.LastText(), u"Error during saving '" + path + u"' file.");
    EXPECT_EQ(page.Editor().StatusText(),
              u"'Label' is removed, but the file still holds it until it is saved.");
    EXPECT_EQ(NamesOnDisk(path), (std::vector<std::u16string>{u"Label"}));
    EXPECT_EQ(page.CurrentName(), u"<Undefined>");
    EXPECT_FALSE(page.RemoveEnabled());

    // A name that names no attribute: the load fails and says so; the next change creates it.
    page.OnElementChanged(u"name=Gain type=int vrt:class=Attribute vrt:cache=true");
    EXPECT_EQ(host.messages.LastText(), u"Error during loading 'Gain' Attribute.");
    page.OnElementChanged(u"name=Gain type=int vrt:class=Attribute vrt:cache=true");
    EXPECT_EQ(NamesOnDisk(path), (std::vector<std::u16string>{u"Gain"}));
}

TEST_F(PagesLogicTest, AnAdapterFinishedOnThePagesDrivesTheSocketAgainstTheLoopbackInstrument) {
    const std::u16string path = Blank("loopback.daf");
    Sheet host(path);
    using Op = CDeviceAdapterFile::Operation;
    for (const vr::xml::Node& type : {
             SampleMessage("msg_SetVolt", "VOLT1 12.500\n", GapMode::Fixed,
                           {{6, 12, u"type=double name=volt vra:format=%.3f"}}),
             SampleMessage("msg_GetVolt", "VOLT1?\n", GapMode::Fixed, {}),
             SampleMessage("msg_GetVoltResponse", "12.500\n", GapMode::Pattern,
                           {{0, 6, u"type=double name=volt"}}),
             SampleMessage("msg_Clear", "*CLS\n", GapMode::Fixed, {}),
         }) {
        ASSERT_EQ(host.file().SetMessageType(type), S_OK);
    }
    ASSERT_EQ(host.file().WriteOperation(Op{u"set_Volt", u"volt", u"", u"msg_SetVolt", u"", {}}), S_OK);
    ASSERT_EQ(
        host.file().WriteOperation(Op{u"get_Volt", u"", u"volt", u"msg_GetVolt", u"msg_GetVoltResponse", {}}),
        S_OK);
    ASSERT_EQ(host.file().WriteOperation(Op{u"Clear", u"", u"", u"msg_Clear", u"", {}}), S_OK);

    CElementEditorModel editor;
    AttributesPageModel attributes(host.context, editor);
    attributes.Init();
    attributes.OnNew(u"Channel");
    for (auto [row, value] : {std::pair{u"vrt:class", u"InnerSelector"}, std::pair{u"default", u"1"}}) {
        std::optional<std::u16string> sent = attributes.Editor().EditRow(row, value);
        ASSERT_TRUE(sent) << Narrow(attributes.Editor().StatusText());
        attributes.OnElementChanged(*sent);
    }

    DevicePageModel device(host.context);
    std::vector<TextSpan> unknown;
    ASSERT_EQ(device.TakeSequenceText(Sequence::Open, u"Clear\nClear \n", &unknown), S_OK);
    ASSERT_EQ(device.SetDefault(kTimeoutRow, u"2000"), S_OK);
    ASSERT_EQ(device.SetDefault(kTermStringRow, u"\\n"), S_OK);
    std::vector<std::u16string> selectors;
    ASSERT_EQ(device.SelectorChoices(&selectors), S_OK);
    ASSERT_EQ(selectors, (std::vector<std::u16string>{u"Channel"}));
    ASSERT_EQ(device.SetDefault(kDefaultSelectorRow, selectors[0]), S_OK);
    ASSERT_EQ(host.context.SaveFile(), S_OK);
    EXPECT_TRUE(host.messages.boxes.empty());

    vrvisatest::LoopbackInstrument instrument;
    ASSERT_TRUE(instrument.Start("\\n"));
    CLSID clsid{};
    vr::ComPtr<IVrConnection> visa;
    vr::ComPtr<ISocket> socket;
    ASSERT_EQ(CLSIDFromProgID(kCnVisaIndependentProgId, &clsid), S_OK);
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(), visa.PutVoid()),
        S_OK);
    ASSERT_EQ(
        visa->Init(_bstr_t(vr::FromUtf8(instrument.SocketResource()).c_str()), _bstr_t(u""), 2000, _NO_LOCK),
        S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Vornic.Socket", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<ISocket>(), socket.PutVoid()),
              S_OK);
    ASSERT_EQ(socket->Init(_bstr_t((u"AdapterFile=" + path).c_str()),
                           _variant_t(static_cast<IUnknown*>(visa.Get()))),
              S_OK);

    EXPECT_EQ(vrtest::RunDeviceScript(socket.Get(), {u"dev.Volt = 3.5;", u"dev.Channel = 2;",
                                                     u"var result = dev.Volt * 2 + ' ' + dev.Channel;"}),
              "7 2");
    socket = nullptr;
    visa = nullptr;
}

} // namespace

namespace {

// The text of the file a sheet's document holds.
std::u16string FileXml(Sheet& host) {
    return host.file().GetDocument().xml();
}

} // namespace

TEST_F(PagesLogicTest, InlineOperationsAreShownAndSurviveEveryEditAndTheSequencesFollowOtherPages) {
    Sheet host(Copy("plugmar_multimeter.daf"));
    DevicePageModel page(host.context);
    std::u16string open;
    std::u16string close;
    ASSERT_EQ(page.SequenceText(Sequence::Open, &open), S_OK);
    ASSERT_EQ(page.SequenceText(Sequence::Close, &close), S_OK);
    const std::u16string displayOff = u"<operation><input value=\"DISP OFF&#10;\"/></operation>";
    EXPECT_EQ(open, u"Reset\n" + displayOff + u"\n");
    EXPECT_EQ(close, u"<operation><input value=\"DISP ON&#10;\"/></operation>\n");

    // Keystrokes in the open sequence leave the inline operations where they are, in both sequences.
    std::vector<TextSpan> unknown;
    for (const std::u16string& typed : {u"Reset\nI\n" + displayOff, u"Reset\nIdentify\n" + displayOff}) {
        ASSERT_EQ(page.TakeSequenceText(Sequence::Open, typed, &unknown), S_OK);
    }
    EXPECT_TRUE(unknown.empty());
    std::vector<ActionEntry> entries;
    ASSERT_EQ(host.file().GetSequenceEntries(Sequence::Open, &entries), S_OK);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].reference, u"Identify");
    EXPECT_EQ(InlineOperationText(entries[2].inlineOperation), displayOff);
    ASSERT_EQ(host.file().GetSequenceEntries(Sequence::Close, &entries), S_OK);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].IsInline());

    // A changed inline line names nothing until it is mended; deleted, its operation goes.
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"Reset\n" + displayOff + u"x", &unknown), S_OK);
    EXPECT_EQ(unknown.size(), 1u);
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"Reset\n" + displayOff, &unknown), S_OK);
    EXPECT_TRUE(unknown.empty());
    EXPECT_NE(FileXml(host).find(u"DISP OFF"), std::u16string::npos);

    // Renaming or removing any operation on the Operations page keeps them, and the page shows the
    // sequence the document now holds.
    ASSERT_EQ(host.file().RenameOperation(u"Reset", u"ResetAll"), S_OK);
    ASSERT_EQ(host.file().RemoveOperation(u"Read"), S_OK);
    EXPECT_TRUE(page.SequenceChanged(Sequence::Open));
    EXPECT_FALSE(page.SequenceChanged(Sequence::Close));
    ASSERT_EQ(page.SequenceText(Sequence::Open, &open), S_OK);
    EXPECT_EQ(open, u"ResetAll\n" + displayOff + u"\n");
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, open + u"ResetAll", &unknown), S_OK);
    EXPECT_TRUE(unknown.empty());
    ASSERT_EQ(host.context.SaveFile(), S_OK);
    std::vector<std::u16string> names;
    ASSERT_EQ(host.file().GetSequence(Sequence::Open, &names), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"ResetAll", u"ResetAll"}));
    EXPECT_NE(FileXml(host).find(u"DISP OFF"), std::u16string::npos);
    EXPECT_NE(FileXml(host).find(u"DISP ON"), std::u16string::npos);
}

TEST_F(PagesLogicTest, AnOperationTheDeviceRunsItselfIsItsSequenceAndStaysSoWhileItIsTheOneLine) {
    const std::u16string path = Copy("bom_supply.daf");
    Sheet host(path);
    DevicePageModel page(host.context);
    std::u16string open;
    ASSERT_EQ(page.SequenceText(Sequence::Open, &open), S_OK);
    EXPECT_EQ(open, u"Clear\n");
    const std::u16string before = FileXml(host);

    // Another line makes the sequence an action that runs both; back to the one line, the device runs the
    // operation itself again, as the file had it.
    std::vector<TextSpan> unknown;
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"Clear\nget_Volt", &unknown), S_OK);
    std::u16string named;
    ASSERT_EQ(host.file().GetDeviceSetting(u"open", &named), S_OK);
    EXPECT_EQ(named, u"_Open");
    std::vector<std::u16string> sequence;
    ASSERT_EQ(host.file().GetSequence(Sequence::Open, &sequence), S_OK);
    EXPECT_EQ(sequence, (std::vector<std::u16string>{u"Clear", u"get_Volt"}));
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"Clear\nget_Vol", &unknown), S_OK);
    EXPECT_EQ(FileXml(host), before);

    // Emptied, the device runs nothing when it opens.
    ASSERT_EQ(page.TakeSequenceText(Sequence::Open, u"", &unknown), S_OK);
    EXPECT_EQ(host.file().GetDeviceSetting(u"open", &named), S_FALSE);
    EXPECT_EQ(FileXml(host).find(u"_Open"), std::u16string::npos);
}
