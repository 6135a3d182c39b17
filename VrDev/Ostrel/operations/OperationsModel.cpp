// The Operations page's logic: loading and saving operations and their messages, trying them on the device.
#include "VrDev/Ostrel/operations/OperationsModel.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/com/comutil.h"

#include <limits>

namespace ostrel {

namespace {

bool IsUndefined(std::u16string_view name) {
    return name == kUndefinedName;
}

// A message type's name as the message editors keep it; names come from the document or the new-name
// dialog, and the definition keeps one byte per character.
std::string MessageNameOf(const std::u16string& name) {
    return Narrow(name);
}

} // namespace

std::vector<std::u16string> AttributeChoices(const std::vector<std::u16string>& attributeNames) {
    std::vector<std::u16string> choices;
    choices.reserve(attributeNames.size());
    for (const std::u16string& name : attributeNames) {
        choices.push_back(u"Attribute:" + name);
    }
    return choices;
}

std::vector<ElementRowDef> OperationElementRows(MsgSide side,
                                                const std::vector<std::u16string>& attributeNames) {
    const std::u16string simple = u"string double long int short byte";
    const std::u16string numeric = u"double long int short byte";
    const std::u16string options = u"ShowUndefined DynamicallyStoreAttrValue MaxNumOfRecentValues=0";
    const std::u16string delayed = options + u" EditChangeDelay=2000";
    const std::vector<std::u16string> units = {u"nm", u"dBm", u"Hz", u"..."};
    std::vector<ElementRowDef> rows = StandardElementRows();
    for (ElementRowDef& row : rows) {
        if (row.name == u"default") {
            // An attribute's name is offered, but any value may still be typed.
            row = {u"default",
                   u"",
                   simple,
                   u"Value Enumeration",
                   AttributeChoices(attributeNames),
                   delayed + u" NotEditable=false",
                   {}};
        }
    }
    if (side == MsgSide::Query) {
        rows.push_back({u"vra:format", u"", numeric, u"Value", {}, delayed, {}});
        rows.push_back({u"vra:units", u"", numeric, u"", units, options, {}});
    } else {
        rows.push_back(
            {u"vra:base", u"", u"long int short byte", u"", {}, options, IntegerRange{2, 36, u""}});
        rows.push_back({u"vra:units", u"", numeric, u"", units, options, {}});
        rows.push_back({u"vra:parsing", u"", simple, u"Value", {u"LongestValue"}, options, {}});
    }
    return rows;
}

void ModelEditorPort::New(std::string_view sample, std::string_view messageName,
                          std::string_view termString) {
    (void)model_.New(sample, messageName, termString, u"xsd",
                     u"vra:substitution=enumeration"); // always starts
}

COperationsModel::COperationsModel(OperationsHost& host, MessageEditorPort& input, MessageEditorPort& output)
    : host_(host), input_(input), output_(output) {}

void COperationsModel::Init() {
    loadedOperation_ = false;
    (void)LoadOperation(std::u16string(kUndefinedName)); // "<Undefined>" needs no document: cannot fail
    side_ = ElementSide::Output;
}

// ---- Lists ----

std::vector<std::u16string> COperationsModel::OperationNames() {
    std::vector<std::u16string> names;
    if (CDeviceAdapterFile* document = host_.Document()) {
        (void)document->GetOperationNames(names); // a file that does not load lists nothing (traced)
    }
    return names;
}

std::vector<std::u16string> COperationsModel::MessageNames(MsgSide side) {
    std::vector<std::u16string> names;
    if (CDeviceAdapterFile* document = host_.Document()) {
        const char16_t* kind = side == MsgSide::Query ? u"InputMessage" : u"OutputMessage";
        (void)document->GetInputMessageNames(names, kind); // a file that does not load lists nothing (traced)
    }
    return names;
}

std::vector<std::u16string> COperationsModel::AttributeNames() {
    std::vector<std::u16string> names;
    if (CDeviceAdapterFile* document = host_.Document()) {
        (void)document->GetAttributeNames(names, nullptr); // a file that does not load lists nothing (traced)
    }
    return names;
}

// ---- Rows ----

bool COperationsModel::ChooseOperation(const std::u16string& name) {
    if (name == operation_) {
        return true;
    }
    if (!QuerySave()) {
        return false;
    }
    if (FAILED(LoadOperation(name))) {
        host_.ShowError(vr::FormatWString(u"Error during loading '%s' Operation.", name.c_str()));
        return false;
    }
    return true;
}

bool COperationsModel::ChooseInMessage(const std::u16string& name) {
    inName_ = name;
    if (FAILED(LoadInMessage(name))) {
        host_.ShowError(vr::FormatWString(u"Error during loading '%s' Message definition.", name.c_str()));
        return false;
    }
    return true;
}

bool COperationsModel::ChooseOutMessage(const std::u16string& name) {
    outName_ = name;
    if (FAILED(LoadOutMessage(name))) {
        host_.ShowError(vr::FormatWString(u"Error during loading '%s' Message definition.", name.c_str()));
        return false;
    }
    return true;
}

void COperationsModel::SetTimeoutText(const std::u16string& text) {
    if (text != timeout_) {
        timeout_ = text;
        fieldsModified_ = true; // a changed time-out is saved like every other field, or asked about
    }
}

void COperationsModel::SetParameterOrder(const std::u16string& text) {
    if (text != parameterOrder_) {
        parameterOrder_ = text;
        fieldsModified_ = true;
    }
}

void COperationsModel::SetResult(const std::u16string& text) {
    if (text != result_) {
        result_ = text;
        fieldsModified_ = true;
    }
}

void COperationsModel::SetInNameRow(const std::u16string& name) {
    if (name != inName_) {
        (void)ChooseInMessage(name); // a failure was shown in a box
    }
}

void COperationsModel::SetOutNameRow(const std::u16string& name, bool forced) {
    if (name == outName_ && !forced) {
        return;
    }
    outName_ = name;
    if (FAILED(LoadOutMessage(name, forced))) {
        host_.ShowError(vr::FormatWString(u"Error during loading '%s' Message definition.", name.c_str()));
    }
}

// ---- Loading ----

HRESULT COperationsModel::LoadOperation(const std::u16string& name) {
    if (loadedOperation_ && name == operation_) {
        return S_OK;
    }
    loadedOperation_ = true;
    operation_ = name;
    parameterOrder_.clear();
    result_.clear();
    timeout_ = kDefaultTimeout;
    SetInNameRow(std::u16string(kUndefinedName));
    SetOutNameRow(std::u16string(kUndefinedName), false);
    buttons_.remove = buttons_.rename = buttons_.save = buttons_.newInput = buttons_.newOutput = false;
    HRESULT hr = S_OK;
    if (!IsUndefined(name)) {
        buttons_.remove = buttons_.rename = buttons_.save = buttons_.newInput = true;
        CDeviceAdapterFile* document = host_.Document();
        CDeviceAdapterFile::Operation stored;
        hr = document != nullptr ? document->GetOperation(name, &stored) : E_FAIL;
        if (hr == S_OK) {
            parameterOrder_ = stored.parameterOrder;
            result_ = stored.result;
            SetInNameRow(stored.inputMessage.empty() ? std::u16string(kUndefinedName) : stored.inputMessage);
            SetOutNameRow(
                stored.outputMessage.empty() ? std::u16string(kUndefinedName) : stored.outputMessage, false);
            if (stored.timeout) {
                timeout_ = *stored.timeout;
            }
        }
    }
    SetModified(false);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT COperationsModel::LoadInMessage(const std::u16string& name) {
    if (name == currentInput_) {
        return S_OK;
    }
    currentInput_ = name;
    input_.Clear();
    inputLoad_ = {};
    side_ = ElementSide::None;
    response_.clear();
    buttons_.newOutput = buttons_.send = false;
    if (IsUndefined(name)) {
        return S_OK;
    }
    buttons_.send = true;
    CDeviceAdapterFile* document = host_.Document();
    if (document == nullptr) {
        return E_FAIL;
    }
    vr::xml::Node type;
    HRESULT hr = document->GetMessageType(name, &type);
    if (FAILED(hr)) {
        return hr;
    }
    if (hr == S_OK) {
        hr = input_.Load(type);
        inputLoad_ = MessageLoad::Of(hr, name);
        return hr;
    }
    input_.New("", MessageNameOf(name), "");
    return S_OK;
}

HRESULT COperationsModel::LoadOutMessage(const std::u16string& name, bool forced) {
    side_ = ElementSide::None;
    parsedValues_.clear();
    if (IsUndefined(name)) {
        output_.Clear();
        outputLoad_ = {};
        currentOutput_.clear();
        lastOutput_.clear();
        return S_OK;
    }
    if (name != currentOutput_) {
        currentOutput_ = name;
        outputLoad_ = {};
        CDeviceAdapterFile* document = host_.Document();
        vr::xml::Node type;
        HRESULT hr = document != nullptr ? document->GetMessageType(name, &type) : E_FAIL;
        if (FAILED(hr)) {
            return hr;
        }
        if (hr == S_FALSE) {
            std::u16string term;
            (void)document->GetDeviceSetting(u"termstring", &term); // absent: no terminator
            output_.New(Narrow(response_), MessageNameOf(name), Narrow(term));
        } else if (hr = output_.Load(type); FAILED(hr)) {
            outputLoad_ = MessageLoad::Of(hr, name);
            if (!lastOutput_.empty()) {
                SetOutNameRow(lastOutput_, false); // the last one that loaded, which clears the failure
            }
            return hr;
        } else {
            outputLoad_ = MessageLoad::Of(hr, name);
            lastOutput_ = name;
            buttons_.newOutput = true;
            // An answer just read is parsed against the stored definition below; without one, the
            // definition's own sample is what the page holds.
            if (response_.empty()) {
                response_ = Wide(output_.Model().Definition().Sample());
            }
        }
    }
    (void)forced; // a forced load differs only in reaching this point for the loaded name (parsing anew)
    if (!response_.empty() && Narrow(response_) != output_.Model().Definition().Sample()) {
        ParseHeldResponse(name);
    }
    ShowParsedValues();
    return S_OK;
}

void COperationsModel::ShowParsedValues() {
    CMsgTypeDef& definition = output_.Model().Definition();
    if (!definition.IsSampleEmpty()) {
        (void)definition.ParseText(definition.Sample()); // a sample that no longer parses shows no values
    }
    parsedValues_ = Wide(definition.ParseResultText());
}

void COperationsModel::ParseHeldResponse(const std::u16string& name) {
    const std::u16string status = output_.Status();
    output_.SetStatus(u".......");
    const HRESULT hr = output_.SetSample(Narrow(response_));
    output_.SetStatus(SUCCEEDED(hr) ? u"OK." : status);
    if (FAILED(hr)) {
        host_.ShowUnparsedResponse(
            vr::FormatWString(
                u"Current Response from the Connection can't be parsed accoring to '%s' Message Definition.",
                name.c_str()),
            response_);
        if (!lastOutput_.empty() && lastOutput_ != outName_) {
            SetOutNameRow(lastOutput_, false);
        }
    }
}

// ---- Saving ----

bool COperationsModel::IsModified() {
    return input_.Model().Definition().IsModified() || output_.Model().Definition().IsModified() ||
           fieldsModified_;
}

void COperationsModel::SetModified(bool modified) {
    input_.Model().Definition().SetModified(modified);
    output_.Model().Definition().SetModified(modified);
    fieldsModified_ = modified;
}

bool COperationsModel::QuerySave() {
    if (!IsModified()) {
        return true;
    }
    switch (host_.AskSave(u"Save changes to the current Operation?")) {
    case SaveAnswer::Yes:
        return SUCCEEDED(SaveOperation());
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

std::u16string COperationsModel::FileName() {
    CDeviceAdapterFile* document = host_.Document();
    return document != nullptr ? document->FileName() : std::u16string();
}

void COperationsModel::ReportSaveFailure(const std::u16string& errorBefore) {
    std::u16string text = vr::FormatWString(u"Couldn't save '%s' Operation to '%s' file.", operation_.c_str(),
                                            FileName().c_str());
    const std::u16string reason = LastErrorText();
    if (!reason.empty() && reason != errorBefore) {
        text += u"\n" + reason; // what the document refused, so the engineer can mend it
    }
    host_.ShowError(text);
}

bool COperationsModel::StoredTimeout(std::optional<std::u16string>* timeout) const {
    if (timeout_ == kDefaultTimeout || IsUndefined(timeout_)) {
        *timeout = std::nullopt;
        return true;
    }
    LONG value = 0;
    if (!timeout_.empty() &&
        (!TextToLong(&value, timeout_.c_str(), 0, true, true) || value == std::numeric_limits<LONG>::max() ||
         value == std::numeric_limits<LONG>::min())) {
        return false;
    }
    *timeout = timeout_;
    return true;
}

COperationsModel::MessageLoad COperationsModel::MessageLoad::Of(HRESULT hr, const std::u16string& name) {
    MessageLoad load;
    load.name = name;
    load.loaded = SUCCEEDED(hr);
    if (FAILED(hr)) {
        load.failure = LastErrorText();
    }
    return load;
}

std::u16string COperationsModel::LoadRefusal() const {
    std::u16string text;
    for (const auto& [load, side] : {std::pair{&inputLoad_, u"input"}, std::pair{&outputLoad_, u"output"}}) {
        if (load->name.empty() || load->loaded) {
            continue;
        }
        text += vr::FormatWString(u"The %s message '%s' did not load, so '%s' Operation is not saved: saving "
                                  u"would lose the message.",
                                  side, load->name.c_str(), operation_.c_str());
        if (!load->failure.empty()) {
            text += u"\n" + load->failure;
        }
        text += u"\n";
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

HRESULT COperationsModel::SaveMessage(MessageEditorPort& editor, const std::u16string& name,
                                      const MessageLoad& load, bool* written) {
    *written = false;
    CMsgTypeDef& definition = editor.Model().Definition();
    if (IsUndefined(name)) {
        return S_OK;
    }
    if (load.loaded && load.name == name && !definition.IsModified()) {
        // Unchanged since it loaded: the file keeps the type as it was written, and the operation keeps it.
        *written = true;
        return S_OK;
    }
    if (definition.IsSampleEmpty()) {
        return S_OK;
    }
    vr::xml::Node type;
    HRESULT hr = definition.GetMsgTypeDef(&type);
    if (SUCCEEDED(hr)) {
        hr = host_.Document()->SetMessageType(type);
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Couldn't save '%s' element.", name.c_str());
        return E_FAIL;
    }
    *written = true;
    return S_OK;
}

HRESULT COperationsModel::WriteOperationElement(bool inputWritten, bool outputWritten) {
    CDeviceAdapterFile::Operation operation;
    operation.name = operation_;
    operation.parameterOrder = parameterOrder_;
    operation.result = result_;
    operation.inputMessage = inputWritten ? inName_ : u"";
    operation.outputMessage = outputWritten ? outName_ : u"";
    if (!StoredTimeout(&operation.timeout)) {
        SetTraceSite();
        TraceError(u"The Timeout '%s' is not a whole number of milliseconds.", timeout_.c_str());
        return E_INVALIDARG;
    }
    return host_.Document()->WriteOperation(operation);
}

HRESULT COperationsModel::SaveOperation() {
    SetTraceMethodName(u"COperationsModel::SaveOperation()");
    const std::u16string errorBefore = LastErrorText();
    if (host_.Document() == nullptr || IsUndefined(operation_)) {
        SetTraceSite();
        TraceError(u"There is no document or no operation to save.");
        ReportSaveFailure(errorBefore);
        return E_FAIL;
    }
    if (const std::u16string refusal = LoadRefusal(); !refusal.empty()) {
        SetTraceSite();
        TraceError(u"%s", refusal.c_str());
        host_.ShowError(refusal);
        return E_FAIL;
    }
    bool outputWritten = false;
    bool inputWritten = false;
    HRESULT hr = SaveMessage(output_, outName_, outputLoad_, &outputWritten);
    if (SUCCEEDED(hr)) {
        hr = SaveMessage(input_, inName_, inputLoad_, &inputWritten);
    }
    if (SUCCEEDED(hr)) {
        hr = WriteOperationElement(inputWritten, outputWritten);
    }
    if (FAILED(hr)) {
        ReportSaveFailure(errorBefore);
        return hr;
    }
    SetTraceSite();
    TraceInfo(u"Saved Operation element: '%s'", operation_.c_str());
    hr = host_.SaveFile();
    if (FAILED(hr)) {
        return hr; // the sheet has said that the file could not be written
    }
    SetModified(false);
    return S_OK;
}

// ---- Commands ----

bool COperationsModel::NewOperation() {
    if (!QuerySave()) {
        return false;
    }
    std::optional<std::u16string> name = host_.AskNewName(u"Operation", u"get_");
    if (!name) {
        return false;
    }
    if (name->empty() || IsUndefined(*name)) {
        host_.ShowError(u"An operation needs a name.");
        return false;
    }
    // The socket would refuse a file whose operation shares its name with an action.
    if (CDeviceAdapterFile* document = host_.Document()) {
        if (const std::u16string refusal = document->OperationNameRefusal(*name); !refusal.empty()) {
            host_.ShowError(refusal);
            return false;
        }
    }
    if (FAILED(LoadOperation(*name))) {
        host_.ShowError(vr::FormatWString(u"Error during loading '%s' Operation.", name->c_str()));
        return false;
    }
    return true;
}

bool COperationsModel::RenameOperation() {
    if (IsUndefined(operation_) || !QuerySave()) {
        return false;
    }
    std::optional<std::u16string> name = host_.AskNewName(u"Operation", operation_);
    if (!name || *name == operation_) {
        return false;
    }
    CDeviceAdapterFile* document = host_.Document();
    // Also for an operation not saved yet: the socket would refuse a file whose operation has an action's
    // name.
    const std::u16string refusal = document != nullptr ? document->OperationNameRefusal(*name) : u"";
    const HRESULT hr = document != nullptr && !IsUndefined(*name) && refusal.empty()
                           ? document->RenameOperation(operation_, *name)
                           : E_INVALIDARG;
    if (FAILED(hr)) {
        std::u16string text =
            vr::FormatWString(u"Couldn't rename '%s' Operation to '%s'.", operation_.c_str(), name->c_str());
        if (!refusal.empty()) {
            text += u"\n" + refusal;
        }
        host_.ShowError(text);
        return false;
    }
    operation_ = *name; // S_FALSE: not saved yet, so only the page knows it by its old name
    return true;
}

std::u16string COperationsModel::RemovalQuestion(CDeviceAdapterFile& document) {
    std::vector<std::u16string> actions;
    if (FAILED(document.GetActionsNeeding(operation_, &actions))) {
        return {}; // a document that cannot be read has nothing to ask about; the removal tells its failure
    }
    std::vector<CDeviceAdapterFile::Sequence> sequences; // those the device runs as the operation itself
    for (CDeviceAdapterFile::Sequence sequence :
         {CDeviceAdapterFile::Sequence::Open, CDeviceAdapterFile::Sequence::Close}) {
        std::u16string direct;
        if (SUCCEEDED(document.GetDirectOperation(sequence, &direct)) && direct == operation_) {
            sequences.push_back(sequence);
        }
    }
    std::vector<std::u16string> users;
    if (!actions.empty()) {
        std::u16string names;
        for (const std::u16string& action : actions) {
            names += (names.empty() ? u"'" : u", '") + action + u"'";
        }
        users.push_back(u"the action(s) " + names);
    }
    if (sequences.size() == 2) {
        users.push_back(u"the device's open and close sequences");
    } else if (sequences.size() == 1) {
        users.push_back(sequences.front() == CDeviceAdapterFile::Sequence::Open
                            ? u"the device's open sequence"
                            : u"the device's close sequence");
    }
    if (users.empty()) {
        return {};
    }
    std::u16string question = u"The operation '" + operation_ + u"' is used by " + users.front();
    question += users.size() > 1 ? u" and " + users.back() + u"." : u".";
    return question + (actions.empty() ? u" Remove it from the device as well?"
                                       : u" Remove it from them as well? An action left with nothing to run "
                                         u"is removed too.");
}

bool COperationsModel::RemoveOperation() {
    CDeviceAdapterFile* document = host_.Document();
    if (document != nullptr && !IsUndefined(operation_)) {
        const std::u16string question = RemovalQuestion(*document);
        if (!question.empty() && !host_.Confirm(question)) {
            return false;
        }
    }
    if (document == nullptr || IsUndefined(operation_) || document->RemoveOperation(operation_) != S_OK) {
        host_.ShowError(vr::FormatWString(u"Couldn't remove '%s' Operation from '%s' file.",
                                          operation_.c_str(), FileName().c_str()));
        return false;
    }
    (void)LoadOperation(std::u16string(kUndefinedName)); // "<Undefined>" needs no document: cannot fail
    return true;
}

bool COperationsModel::NewInMessage() {
    std::optional<std::u16string> name = host_.AskNewName(u"Message", u"msg_" + operation_);
    if (!name || name->empty()) {
        return false;
    }
    return ChooseInMessage(*name);
}

bool COperationsModel::NewOutMessage() {
    std::optional<std::u16string> name = host_.AskNewName(u"Message", u"msg_" + operation_ + u"Response");
    if (!name || name->empty()) {
        return false;
    }
    return ChooseOutMessage(*name);
}

int32_t COperationsModel::ReadTimeout() const {
    if (timeout_ == kDefaultTimeout) {
        return -1;
    }
    if (timeout_.empty()) {
        return 0;
    }
    LONG value = -1;
    if (!TextToLong(&value, timeout_.c_str(), 0, true, false)) {
        return -1; // traced by the conversion; the connection's own time-out serves
    }
    return value;
}

HRESULT COperationsModel::Send() {
    if (!host_.CanUseDevice() || host_.Connection() == nullptr) {
        return S_FALSE;
    }
    IVrConnection* connection = host_.Connection();
    const std::u16string status = input_.Status();
    input_.SetStatus(u"Sending Message ...");
    response_.clear();
    _bstr_t data(Wide(input_.Model().Definition().Sample()).c_str());
    int32_t written = 0;
    HRESULT hr = connection->WriteString(data, &written);
    const bool writeFailed = FAILED(hr);
    if (!writeFailed) {
        BSTR answer = nullptr;
        hr = connection->ReadString(nullptr, ReadTimeout(), -1, &answer);
        std::u16string text(vr::BstrView(answer));
        SysFreeString(answer);
        if (SUCCEEDED(hr) && text.empty()) {
            host_.ShowWarning(u"No response from the Connection.");
        } else if (SUCCEEDED(hr)) {
            std::u16string name = outName_;
            if (IsUndefined(name)) {
                name = u"msg_" + operation_ + u"Response";
                lastOutput_ = name;
            }
            response_ = text;
            buttons_.newOutput = true;
            SetOutNameRow(name, true);
        }
    }
    input_.SetStatus(status);
    if (FAILED(hr)) {
        const char16_t* format = writeFailed ? u"Couldn't write to the Connection, Code: 0x%08X."
                                             : u"Couldn't read from the Connection, Code: 0x%08X.";
        host_.ShowError(vr::FormatWString(format, static_cast<unsigned>(hr)));
    }
    return hr;
}

bool COperationsModel::AddParameter(MsgSide from, ParameterField field) {
    MessageEditorPort& editor = from == MsgSide::Query ? input_ : output_;
    std::u16string description;
    int begin = -1;
    int end = -1;
    if (!editor.Model().Definition().GetCurrentElement(&description, &begin, &end)) {
        return false;
    }
    std::optional<std::u16string> name = ItemOf(description, u"name");
    if (!name || name->empty() || name->front() == u'_') {
        return false; // constants, gaps and terminators are never parameters
    }
    const std::u16string parameter = (from == MsgSide::Query ? u"in:" : u"out:") + *name;
    std::u16string& text = field == ParameterField::Parameters ? parameterOrder_ : result_;
    std::optional<std::u16string> value = ItemOf(description, u"vra:default");
    if (!value) {
        value = ItemOf(description, u"default");
    }
    std::u16string updated = text;
    if (field == ParameterField::Parameters && value) {
        // The default is text the engineer selected: quoted as the option-string writer quotes it.
        if (!AppendPlainItem(updated, parameter, *value)) {
            return false;
        }
    } else {
        updated += (updated.empty() ? u"" : u" ") + parameter;
    }
    text = updated;
    fieldsModified_ = true; // a dropped parameter is an edit like a typed one, so leaving asks to save it
    return true;
}

// ---- The element editor ----

bool COperationsModel::TokenSelected(MsgSide side) {
    const ElementSide wanted = side == MsgSide::Query ? ElementSide::Input : ElementSide::Output;
    if (side_ == wanted) {
        return false;
    }
    side_ = wanted;
    return true;
}

void COperationsModel::OutputElementChanged() {
    ShowParsedValues();
}

} // namespace ostrel
