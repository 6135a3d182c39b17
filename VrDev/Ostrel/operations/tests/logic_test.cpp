// The Operations page's logic headless on a real adapter file: defining, saving and reloading operations,
// what counts as a change, renaming and removing with the open and close sequences, parameters dropped from
// tokens, failed saves reported as such, and the element editor's rows of each side.
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/operations/tests/host.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "plugmar.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace ostrel;
using opstest::RecordingHost;

std::string FileText(const std::u16string& path) {
    std::ifstream in(vr::ToUtf8(path));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class OperationsLogicTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = fs::temp_directory_path() / ("ostrel-ops-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        path_ = vr::FromUtf8((folder_ / "device.daf").string());
        document_ = std::make_unique<CDeviceAdapterFile>(path_.c_str());
        ASSERT_EQ(document_->CreateFromBlank(), S_OK);
        ASSERT_EQ(document_->Save(), S_OK);
        host_.document = document_.get();
        page_.Init();
    }
    void TearDown() override {
        document_.reset();
        CoUninitialize();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // A new operation whose command is the sample, with the tokens marked as values of the query editor.
    void DefineSetter(const std::u16string& name, const std::string& sample,
                      std::initializer_list<std::pair<int, int>> values) {
        host_.names = {name, u"msg_" + name};
        ASSERT_TRUE(page_.NewOperation());
        ASSERT_TRUE(page_.NewInMessage());
        CMsgEditorModel& editor = input_.Model();
        ASSERT_EQ(editor.SetSampleText(sample), S_OK);
        for (auto [begin, end] : values) {
            editor.SetSelection(begin, end);
            ASSERT_TRUE(editor.MarkValue());
        }
    }
    std::vector<std::u16string> Sequence(CDeviceAdapterFile::Sequence which) {
        std::vector<std::u16string> names;
        EXPECT_EQ(document_->GetSequence(which, &names), S_OK);
        return names;
    }

    fs::path folder_;
    std::u16string path_;
    std::unique_ptr<CDeviceAdapterFile> document_;
    RecordingHost host_;
    ModelEditorPort input_{MsgSide::Query};
    ModelEditorPort output_{MsgSide::Response};
    COperationsModel page_{host_, input_, output_};
};

TEST_F(OperationsLogicTest, AnOperationIsSavedAndLoadsBackWithItsRowsAndDefaultTimeout) {
    // Nothing chosen: every command that needs an operation is off.
    EXPECT_EQ(page_.Operation(), u"<Undefined>");
    OperationButtons off = page_.Buttons();
    EXPECT_FALSE(off.remove || off.rename || off.save || off.newInput || off.newOutput || off.send);

    DefineSetter(u"set_Volt", "VOLT1 12.5\n", {{6, 10}});
    EXPECT_TRUE(page_.Buttons().send);
    EXPECT_TRUE(page_.IsModified());
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    EXPECT_FALSE(page_.IsModified());
    // Empty parameter fields are written empty; the default time-out and a missing output are not written.
    const std::string saved = FileText(path_);
    EXPECT_NE(saved.find("<operation name=\"set_Volt\" parameterOrder=\"\" result=\"\">"), std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<input message=\"msg_set_Volt\"/>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("<output"), std::string::npos) << saved;

    // Back to nothing: fields emptied, commands off; then the operation loads back as saved.
    ASSERT_TRUE(page_.ChooseOperation(u"<Undefined>"));
    EXPECT_TRUE(page_.ParameterOrder().empty());
    EXPECT_FALSE(page_.Buttons().save);
    ASSERT_TRUE(page_.ChooseOperation(u"set_Volt"));
    EXPECT_EQ(page_.InName(), u"msg_set_Volt");
    EXPECT_EQ(page_.OutName(), u"<Undefined>");
    EXPECT_EQ(page_.Timeout(), u"<Default>");
    EXPECT_EQ(input_.Model().Definition().Sample(), "VOLT1 12.5\n");
    EXPECT_FALSE(page_.IsModified());
    EXPECT_EQ(page_.OperationNames(), std::vector<std::u16string>{u"set_Volt"});
    EXPECT_EQ(page_.MessageNames(MsgSide::Query), std::vector<std::u16string>{u"msg_set_Volt"});
    EXPECT_TRUE(host_.boxes.empty()) << vr::ToUtf8(host_.boxes.front());
}

TEST_F(OperationsLogicTest, AChangedTimeoutOrParameterAsksToBeSavedBeforeLeaving) {
    DefineSetter(u"set_Volt", "VOLT1 12.5\n", {{6, 10}});
    // The instrument answers: the time-out is the wait for that answer.
    host_.names = {u"msg_set_VoltResponse"};
    ASSERT_TRUE(page_.NewOutMessage());
    ASSERT_EQ(output_.SetSample("OK\n"), S_OK);
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    page_.SetTimeoutText(u"250");
    EXPECT_TRUE(page_.IsModified());
    // Cancel keeps the operation and its change; Yes saves it, and it loads back.
    host_.saveAnswers = {SaveAnswer::Cancel, SaveAnswer::Yes};
    EXPECT_FALSE(page_.ChooseOperation(u"<Undefined>"));
    EXPECT_EQ(page_.Timeout(), u"250");
    EXPECT_TRUE(page_.QuerySave());
    EXPECT_EQ(host_.saveQuestions, 2);
    ASSERT_TRUE(page_.ChooseOperation(u"<Undefined>"));
    ASSERT_TRUE(page_.ChooseOperation(u"set_Volt"));
    EXPECT_EQ(page_.Timeout(), u"250");
    // A time-out that is no whole number is refused with a box instead of being written.
    page_.SetTimeoutText(u"12x");
    EXPECT_TRUE(FAILED(page_.SaveOperation()));
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_NE(host_.boxes[0].find(u"Couldn't save 'set_Volt' Operation to '" + path_ + u"' file.\n"),
              std::u16string::npos)
        << vr::ToUtf8(host_.boxes[0]);
    EXPECT_NE(host_.boxes[0].find(u"'12x' is not a whole number"), std::u16string::npos);
    // No answers: leaving without saving.
    host_.saveAnswers = {SaveAnswer::No};
    EXPECT_TRUE(page_.QuerySave());
}

TEST_F(OperationsLogicTest, DroppedTokensBecomeParametersQuotedAsTheyMustAndConstantsNever) {
    DefineSetter(u"set_Range", "RANGE auto 5 V\n", {{6, 10}});
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    CMsgEditorModel& editor = input_.Model();
    // A constant is no parameter, and trying to add it changes nothing.
    editor.SetSelection(0, 5);
    ASSERT_TRUE(editor.MarkConstant());
    ASSERT_TRUE(editor.Definition().SetCurrentElement(0, 5));
    EXPECT_FALSE(page_.AddParameter(MsgSide::Query, ParameterField::Parameters));
    EXPECT_TRUE(page_.ParameterOrder().empty());
    // A value with a default holding a blank and an apostrophe reads back whole from the parameter text.
    ASSERT_TRUE(editor.Definition().SetCurrentElement(6, 10));
    std::u16string description;
    int begin = 0;
    int end = 0;
    ASSERT_TRUE(editor.Definition().GetCurrentElement(&description, &begin, &end));
    std::optional<std::u16string> name = ItemOf(description, u"name");
    ASSERT_TRUE(name);
    ASSERT_TRUE(editor.Definition().SetCurrentAttributes(description + u" vra:default=\"it's 5\""));
    EXPECT_TRUE(page_.AddParameter(MsgSide::Query, ParameterField::Parameters));
    EXPECT_TRUE(page_.AddParameter(MsgSide::Query, ParameterField::Result));
    EXPECT_EQ(ItemOf(page_.ParameterOrder(), u"in:" + *name), u"it's 5")
        << vr::ToUtf8(page_.ParameterOrder());
    EXPECT_EQ(page_.Result(), u"in:" + *name);
    EXPECT_TRUE(page_.IsModified());
    // The command's own text may still change around its value.
    ASSERT_TRUE(editor.InsertCharacter(5, 'S'));
    EXPECT_EQ(editor.Definition().Sample(), "RANGES auto 5 V\n");
}

TEST_F(OperationsLogicTest, RenamingAndRemovingAnOperationFollowInTheOpenAndCloseSequences) {
    DefineSetter(u"Clear", "*CLS\n", {});
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    DefineSetter(u"Reset", "*RST\n", {});
    ASSERT_EQ(page_.SaveOperation(), S_OK);
    using Seq = CDeviceAdapterFile::Sequence;
    ASSERT_EQ(document_->SetSequence(Seq::Open, {u"Clear", u"Reset"}), S_OK);
    ASSERT_EQ(document_->SetSequence(Seq::Close, {u"Clear"}), S_OK);

    ASSERT_TRUE(page_.ChooseOperation(u"Clear"));
    host_.names = {u"ClearStatus"};
    ASSERT_TRUE(page_.RenameOperation());
    EXPECT_EQ(page_.Operation(), u"ClearStatus");
    EXPECT_EQ(Sequence(Seq::Open), (std::vector<std::u16string>{u"ClearStatus", u"Reset"}));
    EXPECT_EQ(Sequence(Seq::Close), std::vector<std::u16string>{u"ClearStatus"});
    // A name another operation has is refused, and nothing changes.
    host_.names = {u"Reset"};
    EXPECT_FALSE(page_.RenameOperation());
    EXPECT_EQ(page_.Operation(), u"ClearStatus");

    host_.confirmations = {true};
    ASSERT_TRUE(page_.RemoveOperation());
    EXPECT_EQ(host_.questions.size(), 1u);
    EXPECT_EQ(page_.Operation(), u"<Undefined>");
    EXPECT_EQ(Sequence(Seq::Open), std::vector<std::u16string>{u"Reset"});
    EXPECT_TRUE(Sequence(Seq::Close).empty());
    std::u16string close;
    EXPECT_EQ(document_->GetDeviceSetting(u"close", &close), S_FALSE);
    ASSERT_EQ(document_->Save(), S_OK);
    EXPECT_EQ(FileText(path_).find("ClearStatus"), std::string::npos);
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0], u"Error: Couldn't rename 'ClearStatus' Operation to 'Reset'.");
}

// Whether the socket loads the adapter file, as a device that uses it would.
bool SocketLoads(const std::u16string& path) {
    CLSID clsid{};
    vr::ComPtr<IVrSocket> socket;
    vr::ComPtr<IVrSocketProcessor> processor;
    return SUCCEEDED(CLSIDFromProgID(u"Vornic.Socket", &clsid)) &&
           SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrSocket>(),
                                      socket.PutVoid())) &&
           SUCCEEDED(socket.As(&processor)) &&
           SUCCEEDED(processor->LoadInfo(_bstr_t((u"AdapterFile='" + path + u"'").c_str())));
}

TEST_F(OperationsLogicTest, RenamingFollowsInEveryActionAndARemovalAnActionNeedsAsksFirst) {
    const std::u16string guide = vr::FromUtf8((folder_ / "psu.daf").string());
    fs::copy_file(fs::path(VR_SOURCE_DIR) / "docs/user-guide/psu.daf", folder_ / "psu.daf");
    CDeviceAdapterFile psu(guide.c_str());
    host_.document = &psu;
    ASSERT_TRUE(page_.ChooseOperation(u"set_Volt"));
    host_.names = {u"set_Voltage"};
    ASSERT_TRUE(page_.RenameOperation());
    vr::xml::Node apply;
    ASSERT_EQ(psu.GetElement(u"/definitions/action[@name = 'Apply']", &apply), S_OK);
    std::u16string parameters;
    ASSERT_EQ(apply.getAttribute(u"parameterOrder", &parameters), S_OK);
    EXPECT_EQ(parameters, u"set_Voltage:voltage");
    ASSERT_EQ(psu.Save(), S_OK);
    EXPECT_TRUE(SocketLoads(guide));

    // Apply still runs it: No keeps everything; Yes takes it out of Apply too, and the file still loads.
    host_.confirmations = {false, true};
    EXPECT_FALSE(page_.RemoveOperation());
    ASSERT_EQ(host_.questions.size(), 1u);
    EXPECT_EQ(host_.questions[0],
              u"The operation 'set_Voltage' is used by the action(s) 'Apply'. Remove it from "
              u"them as well? An action left with nothing to run is removed too.");
    EXPECT_EQ(page_.Operation(), u"set_Voltage");
    ASSERT_TRUE(page_.RemoveOperation());
    ASSERT_EQ(psu.GetElement(u"/definitions/action[@name = 'Apply']", &apply), S_OK);
    ASSERT_TRUE(apply);
    ASSERT_EQ(apply.getAttribute(u"parameterOrder", &parameters), S_OK);
    EXPECT_EQ(parameters, u"");
    ASSERT_EQ(psu.Save(), S_OK);
    EXPECT_TRUE(SocketLoads(guide));
    EXPECT_TRUE(std::none_of(host_.boxes.begin(), host_.boxes.end(),
                             [](const std::u16string& box) { return box.starts_with(u"Error: Couldn't"); }));
    host_.document = document_.get();
}

TEST_F(OperationsLogicTest, ARemovalNamesTheDeviceSequenceThatIsTheOperationItself) {
    const std::u16string supply = vr::FromUtf8((folder_ / "supply.daf").string());
    fs::copy_file(fs::path(VR_SOURCE_DIR) / "tests/data/bom_supply.daf", folder_ / "supply.daf");
    CDeviceAdapterFile file(supply.c_str());
    host_.document = &file;
    ASSERT_TRUE(page_.ChooseOperation(u"Clear"));
    host_.confirmations = {false, true};
    EXPECT_FALSE(page_.RemoveOperation());
    ASSERT_EQ(host_.questions.size(), 1u);
    EXPECT_EQ(host_.questions[0], u"The operation 'Clear' is used by the device's open sequence. Remove it "
                                  u"from the device as well?");
    ASSERT_TRUE(page_.RemoveOperation());
    std::u16string open;
    EXPECT_EQ(file.GetDeviceSetting(u"open", &open), S_FALSE);
    ASSERT_EQ(file.Save(), S_OK);
    EXPECT_TRUE(SocketLoads(supply));

    // Named by an action as well, both are told.
    ASSERT_EQ(file.SetDeviceSetting(u"close", u"get_Volt"), S_OK);
    ASSERT_EQ(file.SetSequence(CDeviceAdapterFile::Sequence::Open, {u"get_Volt"}), S_OK);
    ASSERT_TRUE(page_.ChooseOperation(u"get_Volt"));
    host_.confirmations = {false};
    EXPECT_FALSE(page_.RemoveOperation());
    EXPECT_EQ(host_.questions.back(),
              u"The operation 'get_Volt' is used by the action(s) '_Open' and the device's close sequence. "
              u"Remove it from them as well? An action left with nothing to run is removed too.");
    host_.document = document_.get();
}

TEST_F(OperationsLogicTest, AFailedFileSaveIsNoSuccessAndTheChangesStay) {
    DefineSetter(u"set_Volt", "VOLT1 12.5\n", {{6, 10}});
    host_.saveFailure = E_ACCESSDENIED;
    EXPECT_EQ(page_.SaveOperation(), E_ACCESSDENIED);
    EXPECT_TRUE(page_.IsModified());
    // Without a document nothing can be saved, and the box says so.
    host_.document = nullptr;
    EXPECT_EQ(page_.SaveOperation(), E_FAIL);
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0].rfind(u"Error: Couldn't save 'set_Volt' Operation to '' file.", 0), 0u);
    // A file that cannot be written at all: the sheet's failure comes back as it is.
    host_.document = document_.get();
    host_.saveFailure = S_OK;
    fs::remove_all(folder_);
    EXPECT_TRUE(FAILED(page_.SaveOperation()));
    EXPECT_TRUE(page_.IsModified());
}

bool Shows(const CElementEditorModel& editor, std::u16string_view name) {
    return std::any_of(editor.Rows().begin(), editor.Rows().end(),
                       [&](const ElementRow& row) { return row.name == name; });
}

TEST(OperationElementRowsTest, EachSideOffersItsAnnotationsWhereTheyMeanSomethingAndChecksThem) {
    CElementEditorModel editor;
    const std::u16string_view options =
        u"EnumSubstitution=vra:substitution ReplaceElementSchemaAttributes='default=vra:default'";
    editor.Init(options, u"xsd", u"vra:substitution=enumeration",
                OperationElementRows(MsgSide::Response, {u"Range"}));
    // An answer's integer: a base within 2..36, and a default that names an attribute (no number, yet
    // taken, and written as vra:default); formats are for commands only.
    ASSERT_EQ(editor.SetElement(u"int", u"count", u"", u"", u"", true), S_OK);
    EXPECT_TRUE(Shows(editor, u"vra:units") && Shows(editor, u"vra:parsing") &&
                !Shows(editor, u"vra:format"));
    EXPECT_FALSE(editor.EditRow(u"vra:base", u"37"));
    EXPECT_EQ(ItemOf(editor.EditRow(u"vra:base", u"16").value_or(u""), u"vra:base"), u"16");
    const std::optional<std::u16string> changed = editor.EditRow(u"default", u"Attribute:Range");
    ASSERT_TRUE(changed) << vr::ToUtf8(editor.StatusText());
    EXPECT_EQ(ItemOf(*changed, u"vra:default"), u"Attribute:Range");
    // A constant has no default and no parsing rule; a text no base.
    ASSERT_EQ(editor.SetElement(u"string", u"_sep", u"fixed=','", u"", u"", true), S_OK);
    EXPECT_FALSE(Shows(editor, u"default") || Shows(editor, u"vra:parsing") || Shows(editor, u"vra:base"));

    // A command's number takes a format, never a base.
    editor.Init(options, u"xsd", u"vra:substitution=enumeration", OperationElementRows(MsgSide::Query, {}));
    ASSERT_EQ(editor.SetElement(u"double", u"level", u"", u"", u"", true), S_OK);
    EXPECT_FALSE(Shows(editor, u"vra:base"));
    EXPECT_EQ(ItemOf(editor.EditRow(u"vra:format", u"%.3f").value_or(u""), u"vra:format"), u"%.3f");
}

} // namespace
