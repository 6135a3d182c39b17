// The test executive's form: the sequence file in and out, the tree, and the selected test's properties.
#include "TestRunTime/Runvex/SequenceForm.h"

#include "TestRunTime/Runvex/SequenceRun.h"
#include "common/trace/Trace.h"
#include "platform/base/paths.h"

#include <cerrno>
#include <sys/stat.h>

namespace runvex {
namespace {

constexpr const char* kName = "Name";
constexpr const char* kDescription = "Description";
constexpr const char* kCodeFile = "Code File";
constexpr const char* kLanguage = "Language";

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// A row the list no longer holds (its editor renamed it) is traced, not written.
void SetRow(CAttrValueList& rows, const char* name, const std::string& value) {
    CAttrValue* row = rows.FindByName(name);
    if (!row) {
        SetTraceSite();
        TraceError(u"The property row '%hs' is missing.", name);
        return;
    }
    row->SetValueText(value.empty() ? CAttrValue::kUndefined : value.c_str());
}

} // namespace

SequenceForm::SequenceForm(FormView& view, SequenceDocument& document, SequenceTree& tree, SequenceRun& run,
                           const std::vector<std::string>& languages)
    : view_(view), document_(document), tree_(tree), run_(run) {
    rows_.Add(new CAttrValue(kName, kTextRowOptions));
    rows_.Add(new CAttrValue(kDescription, kTextRowOptions));
    rows_.Add(new CAttrValue(kCodeFile, kCodeFileRowOptions));
    // The languages are the row's values (its drop-down); a row's choices would be names to rename it to.
    auto* language = new CAttrValue(kLanguage, kTextRowOptions);
    for (const std::string& name : languages) {
        language->AddValue(name.c_str());
    }
    language->AddValue("ControlPanel");
    language->AddValue("WinDLL");
    rows_.Add(language);
    selected_ = &tree_.Root();
}

bool SequenceForm::Refused() const {
    return run_.Running() || !run_.State().Takes(vrcommon::RunRequest::Load);
}

bool SequenceForm::Open(const std::string& chosenPath) {
    if (Refused()) {
        return false;
    }
    if (FileExists(chosenPath)) {
        return Load(chosenPath);
    }
    std::string path = CreateSequenceFile(chosenPath);
    if (path.empty()) {
        std::string target = chosenPath.ends_with(".tsq") ? chosenPath : chosenPath + ".tsq";
        int error = errno;
        view_.ShowError("Error", "Couldn't create file '" + target + "'.");
        view_.ShowStatus(CutToStatusBuffer("Couldn't create file '" + target + "'"));
        SetTraceSite();
        TraceError(u"Couldn't create file '%hs'. GetLastError() returns '%d'.", target.c_str(), error);
        return false;
    }
    if (!Load(path)) {
        return false;
    }
    view_.ShowStatus(CutToStatusBuffer("File '" + path + "' was created"));
    return true;
}

bool SequenceForm::Load(const std::string& path) {
    if (Refused()) {
        return false;
    }
    vrcommon::RunState::Scope loading(run_.State(), vrcommon::RunPhase::Loading);
    loaded_ = false;
    view_.ShowStatus("");
    tree_.Clear();
    selected_ = &tree_.Root();
    view_.ShowTree();
    view_.ShowStatus(CutToStatusBuffer("Opening file '" + path + "' ..."));
    if (FAILED(document_.Load(path))) {
        Failed("open", path);
        return false;
    }
    MakeTree();
    loaded_ = true; // before the status, which the window's commands follow
    view_.ShowStatus(CutToStatusBuffer("File '" + path + "' was loaded"));
    return true;
}

void SequenceForm::Save() {
    if (!document_.IsLoaded()) {
        return;
    }
    if (FAILED(document_.Save())) {
        Failed("save", document_.Path());
        return;
    }
    view_.ShowStatus(CutToStatusBuffer("File '" + document_.Path() + "' was saved"));
}

// The box says why under its first line, when the document knows.
void SequenceForm::Failed(const std::string& what, const std::string& path) {
    int error = errno;
    view_.ShowStatus(CutToStatusBuffer("Couldn't " + what + " file '" + path + "'"));
    const std::string& reason = document_.Failure();
    view_.ShowError("Error",
                    "Couldn't " + what + " file '" + path + "'." + (reason.empty() ? "" : "\n" + reason));
    SetTraceSite();
    TraceError(u"Couldn't %hs file '%hs'. GetLastError() returns '%d'.", what.c_str(), path.c_str(), error);
}

void SequenceForm::MakeTree() {
    tree_.Build(document_.Root());
    view_.ShowTree();
    ShowProperties(tree_.Root());
}

void SequenceForm::ShowProperties(SequenceItem& item) {
    selected_ = &item;
    updating_ = true;
    TestProperties test = document_.PropertiesOf(item.element);
    SetRow(rows_, kName, test.name);
    SetRow(rows_, kDescription, test.description);
    SetRow(rows_, kCodeFile, test.codeFile);
    SetRow(rows_, kLanguage, test.language);
    config_ = test.config;
    view_.ShowProperties();
    updating_ = false;
}

void SequenceForm::PropertyEdited(const std::string& rowName, const std::string& value) {
    if (updating_ || !selected_->element) {
        return;
    }
    TestProperty property;
    if (rowName == kName) {
        property = TestProperty::Name;
    } else if (rowName == kDescription) {
        property = TestProperty::Description;
    } else if (rowName == kLanguage) {
        property = TestProperty::Language;
    } else if (rowName == kCodeFile) {
        property = TestProperty::CodeFile;
    } else {
        return;
    }
    if (HRESULT hr = document_.SetProperty(selected_->element, property, value); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't write the row '%hs'.", rowName.c_str());
        return;
    }
    if (CAttrValue* row = rows_.FindByName(rowName.c_str())) { // the edited row, found by its name
        row->SetValueText(value.c_str());
    }
    if (property == TestProperty::Name) {
        selected_->label = document_.PropertiesOf(selected_->element).name; // as a rebuild would show it
        view_.ShowLabel(*selected_);
    } else if (property == TestProperty::CodeFile) {
        view_.ShowProperties();
    }
}

void SequenceForm::ConfigEdited(const std::string& text) {
    if (updating_ || !selected_->element) {
        return;
    }
    if (HRESULT hr = document_.SetConfig(selected_->element, text); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't write the config code.");
        return;
    }
    config_ = text;
}

void SequenceForm::AddTest() {
    if (Refused() || !document_.IsLoaded()) {
        return;
    }
    if (HRESULT hr = document_.InsertTest(selected_->element); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't insert a test.");
        return;
    }
    MakeTree();
}

void SequenceForm::RemoveTest() {
    if (Refused() || !selected_->element) {
        return;
    }
    if (HRESULT hr = document_.RemoveTest(selected_->element); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't remove the test.");
        return;
    }
    MakeTree();
}

std::optional<std::string> SequenceForm::CodeFileToEdit() {
    std::string file = document_.PropertiesOf(selected_->element).codeFile;
    if (file.empty()) {
        view_.ShowError("Error", "Code file is not provided for this Test.");
        return std::nullopt;
    }
    std::string path = vr::MapWindowsPath(file); // users write the paths of their Windows benches
    if (!FileExists(path)) {
        view_.ShowError("Error", "Couldn't find file '" + file + "'.");
        return std::nullopt;
    }
    return path;
}

} // namespace runvex
