// Every adapter file of the repository through the studio without an edit: opened in a sheet context over the
// real hardware manager, every page visited, every operation loaded and saved on the Operations page, the
// file saved. The saved file must be the original, and the instrument socket must load it and answer as it
// answers on the original, against the loopback instrument. And what the socket would refuse: names it
// could not tell apart, and saved files it does not load.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/model/MsgTypeDef.h"
#include "VrDev/Ostrel/operations/OperationsPage.h"
#include "VrDev/Ostrel/operations/tests/host.h"
#include "VrDev/Ostrel/sheet/GeneralPage.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "plugmar.h"
#include "tests/support/com_holders.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace ostrel;

// The template new files start from: the one adapter file the socket refuses, as it has no message type.
constexpr const char* kBlankTemplate = "VrDev/Ostrel/model/AdapterBlank.daf";
// Files every message of which the studio reads, so that every operation saves: the user guide's example and
// the test adapter of a named union type.
const std::set<std::string> kWhollyRead = {"docs/user-guide/psu.daf", "tests/data/union_limits.daf"};

// The adapter files of the source tree, relative to it; build folders and hidden ones are not the
// repository's.
std::vector<std::string> RepositoryAdapterFiles() {
    std::vector<std::string> files;
    const fs::path root = VR_SOURCE_DIR;
    for (auto entry = fs::recursive_directory_iterator(root); entry != fs::recursive_directory_iterator();
         ++entry) {
        const std::string name = entry->path().filename().string();
        if (entry.depth() == 0 && (name.starts_with(".") || name.starts_with("build"))) {
            entry.disable_recursion_pending();
        } else if (entry->is_regular_file() && entry->path().extension() == ".daf") {
            files.push_back(fs::relative(entry->path(), root).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The loopback instrument's answer end for the device: its termination string, escaped for the program.
std::string AnswerEnd(CDeviceAdapterFile& file) {
    std::u16string term;
    if (file.GetDeviceSetting(u"termstring", &term) != S_OK || term.empty()) {
        return "\\n";
    }
    std::string escaped;
    for (char16_t c : term) {
        escaped += c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : std::string(1, static_cast<char>(c));
    }
    return escaped;
}

// What a socket on the file answers to every member a script can call without arguments: each property
// read and each method whose parameters all have defaults, by name, as its result or its error.
class SocketRun {
public:
    // Empty when the socket does not load the file; *failure then says why.
    static std::map<std::string, std::string> Answers(const std::string& adapter,
                                                      const std::string& answerEnd, std::u16string* failure) {
        vrvisatest::LoopbackInstrument instrument;
        EXPECT_TRUE(instrument.Start(answerEnd));
        CLSID clsid{};
        vr::ComPtr<IVrConnection> visa;
        EXPECT_EQ(CLSIDFromProgID(kCnVisaIndependentProgId, &clsid), S_OK);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(),
                                   visa.PutVoid()),
                  S_OK);
        if (!visa) {
            return {};
        }
        EXPECT_EQ(visa->Init(_bstr_t(vr::FromUtf8(instrument.SocketResource()).c_str()), _bstr_t(u""), 2000,
                             _NO_LOCK),
                  S_OK);
        vr::ComPtr<ISocket> socket;
        EXPECT_EQ(CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<ISocket>(),
                                   socket.PutVoid()),
                  S_OK);
        _bstr_t options(u"");
        EXPECT_TRUE(
            AppendParam(options.GetAddress(), u"AdapterFile", vr::FromUtf8(adapter).c_str(), u" ", true));
        if (!socket || FAILED(socket->Init(options, _variant_t(static_cast<IUnknown*>(visa.Get()))))) {
            *failure = vrtest::ErrorDescription();
            return {};
        }
        vr::ComPtr<IVrSocketProcessor> processor;
        intptr_t address = 0;
        EXPECT_EQ(socket.As(&processor), S_OK);
        EXPECT_EQ(processor->GetInfo(_bstr_t(u""), &address), S_OK);
        std::map<std::string, std::string> answers;
        for (const SocketMethodInfo& method : reinterpret_cast<const SocketInfo*>(address)->methods) {
            const bool callable =
                std::all_of(method.parameters.begin(), method.parameters.end(),
                            [](const SocketParamInfo& p) { return p.defaultValue.vt != VT_EMPTY; });
            const bool own = method.dispId >= 1000; // not QueryString, connection, attributes
            if (own && callable && (method.invokeKind == 1 || method.invokeKind == 2)) {
                answers[vr::ToUtf8(method.name.view()) + (method.invokeKind == 2 ? " (get)" : "()")] =
                    Call(socket.Get(), method);
            }
        }
        EXPECT_EQ(socket->Close(), S_OK) << vr::ToUtf8(vrtest::ErrorDescription());
        return answers;
    }

private:
    static std::string Call(ISocket* socket, const SocketMethodInfo& method) {
        DISPPARAMS none{};
        _variant_t result;
        const WORD kind = method.invokeKind == 2 ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
        HRESULT hr = socket->Invoke(method.dispId, IID_NULL, LOCALE_USER_DEFAULT, kind, &none, &result,
                                    nullptr, nullptr);
        if (FAILED(hr)) {
            // Each run has an instrument of its own: its resource is no part of the answer.
            return "failed: " + std::regex_replace(vr::ToUtf8(vrtest::ErrorDescription()),
                                                   std::regex("TCPIP0::[^']*"), "...");
        }
        _variant_t text;
        if (result.vt == VT_EMPTY || FAILED(VariantChangeType(&text, &result, 0, VT_BSTR))) {
            return "done";
        }
        return vr::ToUtf8(vr::BstrView(text.bstrVal));
    }
};

// Whether the message type loads as a definition of that side, and why not.
bool MessageLoads(CDeviceAdapterFile& file, const std::u16string& name, GapMode mode) {
    vr::xml::Node type;
    if (file.GetMessageType(name, &type) != S_OK) {
        return true; // no such type: nothing to lose
    }
    CMsgTypeDef definition;
    definition.SetGapMode(mode);
    return SUCCEEDED(definition.Load(type));
}

class RoundTripTest : public ostreltest::ManagerTest, public testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        ManagerTest::SetUp();
        (void)vrtest::TestApplication(); // made once per process
        SaveLoopback(u"Loopback");
    }
    void TearDown() override {
        vr::ui::DropModalAnswers();
        ManagerTest::TearDown();
    }

    // Saves each operation of the Operations page without an edit: a save is refused exactly for an
    // operation a message of which does not load, and the refusal names that message.
    void SaveEveryOperation(OperationsPage& page, SheetContext& context, RecordingMessages& messages,
                            bool whollyRead) {
        CDeviceAdapterFile& document = context.Document();
        std::vector<std::u16string> operations;
        ASSERT_EQ(document.GetOperationNames(operations), S_OK);
        for (const std::u16string& name : operations) {
            CDeviceAdapterFile::Operation stored;
            ASSERT_EQ(document.GetOperation(name, &stored), S_OK);
            std::vector<std::u16string> unloaded;
            if (!MessageLoads(document, stored.inputMessage, GapMode::Fixed)) {
                unloaded.push_back(stored.inputMessage);
            }
            if (!MessageLoads(document, stored.outputMessage, GapMode::Pattern)) {
                unloaded.push_back(stored.outputMessage);
            }
            EXPECT_TRUE(!whollyRead || unloaded.empty())
                << vr::ToUtf8(name) << ": " << vr::ToUtf8(unloaded.front()) << " "
                << vr::ToUtf8(LastErrorText());
            const size_t boxes = messages.boxes.size();
            QComboBox* row = page.NameRow();
            row->setCurrentIndex(row->findText(QString::fromStdU16String(name)));
            Q_EMIT row->activated(row->currentIndex());
            ASSERT_EQ(page.Model().Operation(), name);
            ASSERT_FALSE(page.Model().IsModified()) << vr::ToUtf8(name) << " counts as changed when loaded";
            QTest::mouseClick(page.Button(QStringLiteral("Save Operation")), Qt::LeftButton);
            if (unloaded.empty()) {
                EXPECT_EQ(messages.boxes.size(), boxes)
                    << vr::ToUtf8(name) << ": " << vr::ToUtf8(messages.LastText());
                continue;
            }
            ASSERT_GT(messages.boxes.size(), boxes)
                << vr::ToUtf8(name) << " saved although a message did not load";
            for (const std::u16string& message : unloaded) {
                EXPECT_NE(messages.LastText().find(u"'" + message + u"' did not load"), std::u16string::npos)
                    << vr::ToUtf8(messages.LastText());
            }
        }
    }
};

TEST_P(RoundTripTest, SavedWithoutAnEditTheFileIsTheOriginalAndDrivesTheSocketAlike) {
    const std::string original = std::string(VR_SOURCE_DIR) + "/" + GetParam();
    const std::string copy = folder + "/" + fs::path(original).filename().string();
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    const std::string before = FileBytes(copy);

    RecordingMessages messages;
    {
        SheetContext context(messages, rigmont.Get());
        ASSERT_EQ(context.SetAdapterFile(vr::FromUtf8(copy)), S_OK);
        ASSERT_EQ(context.ChooseConnection(u"Loopback"), S_OK);
        GeneralPage general(context, [] {});
        std::vector<std::unique_ptr<SheetPage>> pages;
        pages.push_back(MakeOperationsPage(context));
        pages.push_back(MakeAttributesPage(context));
        pages.push_back(MakeDevicePage(context));
        general.FileShown();
        for (const std::unique_ptr<SheetPage>& page : pages) {
            page->FileShown();
        }
        // Every page shown in the sheet's order, the Operations page's operations saved while it is.
        general.Enter();
        ASSERT_TRUE(general.Leave());
        for (const std::unique_ptr<SheetPage>& page : pages) {
            page->Enter();
            if (auto* operations = dynamic_cast<OperationsPage*>(page.get())) {
                SaveEveryOperation(*operations, context, messages, kWhollyRead.contains(GetParam()));
            }
            EXPECT_TRUE(page->Leave()) << page->Caption().toStdString();
        }
        // Saved and checked as the socket loads it: only the blank template, which has no message type yet,
        // is refused, and the save says so.
        const size_t boxes = messages.boxes.size();
        if (GetParam() == kBlankTemplate) {
            ASSERT_EQ(context.SaveFile(), S_FALSE);
            ASSERT_EQ(messages.boxes.size(), boxes + 1);
            EXPECT_NE(messages.LastText().find(u"There are no types defined"), std::u16string::npos);
        } else {
            ASSERT_EQ(context.SaveFile(), S_OK) << vr::ToUtf8(messages.LastText());
            EXPECT_EQ(messages.boxes.size(), boxes) << vr::ToUtf8(messages.LastText());
        }
    }

    // Byte for byte (stronger than canonically equal): the studio writes what it did not edit as it was
    // written.
    EXPECT_EQ(FileBytes(copy), before);

    CDeviceAdapterFile settings(vr::FromUtf8(original).c_str());
    const std::string answerEnd = AnswerEnd(settings);
    std::u16string refusal;
    const std::map<std::string, std::string> expected = SocketRun::Answers(original, answerEnd, &refusal);
    std::u16string savedRefusal;
    EXPECT_EQ(SocketRun::Answers(copy, answerEnd, &savedRefusal), expected);
    EXPECT_EQ(refusal.empty(), GetParam() != kBlankTemplate) << vr::ToUtf8(refusal);
    EXPECT_EQ(savedRefusal.empty(), refusal.empty()) << vr::ToUtf8(savedRefusal);
}

// The user guide's adapter, whose action Apply runs its operations set_Volt and get_Volt: no operation may
// take an action's name, and a saved file the socket refuses is told with the socket's reason.
TEST_F(RoundTripTest, NamesTheSocketWouldMistakeAreRefusedAndASavedFileItRefusesIsToldWhy) {
    const std::string copy = folder + "/psu.daf";
    fs::copy_file(std::string(VR_SOURCE_DIR) + "/docs/user-guide/psu.daf", copy);
    const std::string before = FileBytes(copy);
    RecordingMessages messages;
    SheetContext context(messages, rigmont.Get());
    ASSERT_EQ(context.SetAdapterFile(vr::FromUtf8(copy)), S_OK);

    opstest::RecordingHost host;
    host.document = &context.Document();
    ModelEditorPort input(MsgSide::Query);
    ModelEditorPort output(MsgSide::Response);
    COperationsModel page(host, input, output);
    page.Init();
    host.names = {u"Apply", u"_Close"};
    EXPECT_FALSE(page.NewOperation());
    ASSERT_TRUE(page.ChooseOperation(u"set_Volt"));
    EXPECT_FALSE(page.RenameOperation());
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0],
              u"Error: 'Apply' is the name of an action of this file; an operation can't have it.");
    EXPECT_EQ(host.boxes[1],
              u"Error: Couldn't rename 'set_Volt' Operation to '_Close'.\n'_Close' is the name of "
              u"the device's close sequence; an operation can't have it.");
    EXPECT_EQ(page.Operation(), u"set_Volt");
    ASSERT_EQ(context.SaveFile(), S_OK);
    EXPECT_EQ(FileBytes(copy), before);

    // The device opens with an operation that does not exist: written, but refused by the socket, which the
    // save says each time it is asked for, and once for the saves of edits.
    ASSERT_EQ(context.Document().SetDeviceSetting(u"open", u"Nothing"), S_OK);
    EXPECT_EQ(context.SaveFile(), S_FALSE);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_NE(messages.LastText().find(u"was saved, but the instrument socket can't load it"),
              std::u16string::npos);
    EXPECT_NE(messages.LastText().find(u"refering to undefined 'Nothing' command"), std::u16string::npos)
        << vr::ToUtf8(messages.LastText());
    EXPECT_EQ(context.SaveFile(SaveKind::Edit), S_FALSE);
    EXPECT_EQ(context.SaveFile(), S_FALSE);
    EXPECT_EQ(messages.boxes.size(), 2u);
    ASSERT_EQ(context.Document().SetDeviceSetting(u"open", u"_Open"), S_OK);
    EXPECT_EQ(context.SaveFile(SaveKind::Edit), S_OK);
    EXPECT_EQ(messages.boxes.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Repository, RoundTripTest, testing::ValuesIn(RepositoryAdapterFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
