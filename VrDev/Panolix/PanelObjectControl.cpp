// The control object: its templates, windows and layout, its refresh text and shown value, and its Set.
#include "PanelObjectControl.h"

#include "PanelWidgets.h"

#include "DataManagement/Limitor/include/limitor.h"
#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "common/worker/TestExecutive.h"
#include "common/xmlfile/XmlFile.h"

#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/ui/message_box.h"

#include <QLabel>
#include <QPushButton>

namespace {

const QColor kInvalidColor(255, 0, 0);
const QColor kValidColor(0, 100, 0);
const QColor kPlainColor(0, 0, 0);

// A BSTR that frees itself.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    explicit OwnedBstr(std::u16string_view value) : text(vr::AllocBstr(value)) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    std::u16string Text() const { return std::u16string(vr::BstrView(text)); }
};

// A VARIANT that clears itself.
struct OwnedVariant {
    VARIANT value;
    OwnedVariant() { VariantInit(&value); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { (void)VariantClear(&value); } // nothing to do about a failed clear
};

VARIANT MissingArgument() {
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    return missing;
}

// A script value as the value window shows it: booleans as "True"/"False", empty as "".
std::u16string ScriptValueText(const VARIANT& value) {
    OwnedVariant text;
    if (SUCCEEDED(VariantChangeType(&text.value, &value, VARIANT_ALPHABOOL, VT_BSTR))) {
        return std::u16string(vr::BstrView(text.value.bstrVal));
    }
    return VariantToText(&value);
}

// Reads a configuration item whole; false when it is missing.
bool ReadConfigItem(const std::u16string& name, std::u16string* text) {
    CVrConfigData config;
    OwnedBstr value;
    if (!config.GetItem(vr::ToUtf8(name).c_str(), &value.text, true)) {
        return false;
    }
    *text = value.Text();
    return true;
}

} // namespace

CPObjectControl::CPObjectControl(IPanelHost& host, CTestExecutive* worker) : CPObject(host, worker) {
    HRESULT hr = CoCreateInstance(CLSID_SpecValidator, nullptr, CLSCTX_ALL, __uuidof(IVrSpecValidator),
                                  validator_.PutVoid());
    if (FAILED(hr)) {
        SetTraceMethodName(u"CPObjectControl::CPObjectControl()");
        SetTraceSiteAt("PObjectControl", __LINE__);
        TraceHResultError(hr, u"Couldn't instantiate SpecValidator object.");
    }
}

CPObjectControl::~CPObjectControl() {
    DestroyWindows();
}

HRESULT CPObjectControl::Load(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Load(file, element);
    if (FAILED(hr)) {
        return hr;
    }
    std::u16string* targets[] = {&format_, &spec_, &value_, &parameters_, &paramValues_};
    const char16_t* names[] = {u"format", u"spec", u"value", u"parameters", u"paramvalues"};
    for (size_t index = 0; index < std::size(names); ++index) {
        OwnedBstr text;
        hr = file.GetAttribute(u".", names[index], &text.text, element);
        if (FAILED(hr)) {
            return hr;
        }
        *targets[index] = text.Text();
    }
    return Initialize(true);
}

HRESULT CPObjectControl::Save(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Save(file, element);
    const std::pair<const char16_t*, const std::u16string*> attributes[] = {{u"format", &format_},
                                                                            {u"spec", &spec_},
                                                                            {u"value", &value_},
                                                                            {u"parameters", &parameters_},
                                                                            {u"paramvalues", &paramValues_}};
    for (const auto& [name, text] : attributes) {
        if (SUCCEEDED(hr)) {
            hr = file.SetAttribute(u".", name, text->c_str(), element);
        }
    }
    return hr;
}

std::unique_ptr<CPObject> CPObjectControl::CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const {
    return std::make_unique<CPObjectControl>(host, worker);
}

void CPObjectControl::CopyTo(CPObject& target) const {
    CPObject::CopyTo(target);
    if (auto* control = dynamic_cast<CPObjectControl*>(&target)) {
        control->format_ = format_;
        control->spec_ = spec_;
        control->value_ = value_;
        control->parameters_ = parameters_;
        control->paramValues_ = paramValues_;
    }
}

void CPObjectControl::Show(bool hide) {
    CPObject::Show(hide);
    QWidget* windows[] = {valueWindow_.data(), infoStatic_.data(), button_.data()};
    for (QWidget* window : windows) {
        if (window) {
            window->setVisible(!hide);
        }
    }
    for (Row& row : rows_) {
        QWidget* rowWindows[] = {row.nameLabel.data(), row.edit.data(), row.infoLabel.data()};
        for (QWidget* window : rowWindows) {
            if (window) {
                window->setVisible(!hide);
            }
        }
    }
}

bool CPObjectControl::IsPlainButton() const {
    return value_.empty() && parameters_.empty() && !setScript_.empty();
}

bool CPObjectControl::ReadTemplates() {
    std::u16string getStored;
    std::u16string setStored;
    if (!ReadConfigItem(u"PnxGetScript_" + language_, &getStored) ||
        !ReadConfigItem(u"PnxSetScript_" + language_, &setStored)) {
        std::u16string text = vr::FormatWString(u"Configuration data for '%ls' Script Language is not found.",
                                                language_.c_str());
        host_.SetStatus(text);
        (void)host_.ShowMessage(text, u"Run-Time Error", MB_OK | MB_ICONERROR, true); // only OK
        return false;
    }
    getTemplate_ = UnescapeTemplate(getStored);
    setTemplate_ = UnescapeTemplate(setStored);
    return true;
}

std::u16string CPObjectControl::InfoOf(const std::u16string& spec) const {
    if (spec.empty() || !validator_) {
        return {};
    }
    VARIANT specValue;
    VariantInit(&specValue);
    specValue.vt = VT_BSTR;
    OwnedBstr specText(spec);
    specValue.bstrVal = specText.text;
    OwnedBstr info;
    if (FAILED(validator_->GetInfo(specValue, &info.text))) {
        return {}; // a spec without an info part shows none
    }
    return info.Text();
}

HRESULT CPObjectControl::Initialize(bool create) {
    SetTraceMethodName(u"CPObjectControl::Initialize()");
    host_.SetStatus(u"Initializing ...");
    DestroyWindows();
    if (!ReadTemplates()) {
        return E_FAIL;
    }
    bool plainButton = IsPlainButton();
    HRESULT hr = CPObject::Initialize(create && !plainButton);
    if (FAILED(hr)) {
        return hr;
    }
    MakeWindows(plainButton);
    if (!initScript_.empty() && !RunRequest(u"_execute", initScript_)) {
        return E_FAIL;
    }
    host_.SetStatus(u"Ready");
    return S_OK;
}

void CPObjectControl::MakeWindows(bool plainButton) {
    QWidget* parent = host_.ObjectParent();
    int textHeight = host_.MeasureText(u"Xy").height;
    int averageChar = host_.AverageCharWidth();
    bool multiLine = height_ > 2 * textHeight;

    std::u16string valueInfo = value_.empty() ? std::u16string() : InfoOf(spec_);
    std::vector<SetParameter> parameters = ParametersOf(parameters_, paramValues_);
    ControlLayoutInput input;
    input.x = x_;
    input.width = width_;
    input.labelWidth = labelWidth_;
    input.hasValue = !value_.empty();
    input.infoWidth = valueInfo.empty() ? 0 : host_.MeasureText(valueInfo).width + 2 * averageChar;
    std::vector<std::u16string> rowNames;
    std::vector<std::u16string> rowInfos;
    for (size_t index = 0; index < parameters.size(); ++index) {
        bool last = index + 1 == parameters.size();
        std::u16string name = (index == 0 && input.hasValue ? u"  " : u"") + parameters[index].name + u"=";
        std::u16string specInfo = InfoOf(parameters[index].spec);
        std::u16string info = specInfo + (last ? u"" : u",");
        Row row;
        row.parameter = parameters[index];
        row.info = specInfo;
        rows_.push_back(std::move(row));
        rowNames.push_back(name);
        rowInfos.push_back(info);
        input.rows.push_back(
            {host_.MeasureText(name).width, info.empty() ? 0 : host_.MeasureText(info).width});
    }
    std::u16string buttonCaption = plainButton ? description_ : u"Set";
    if (!setScript_.empty()) {
        input.buttonWidth = host_.MeasureText(buttonCaption).width + 3 * averageChar;
    }
    ControlLayout layout = LayOutControl(input);
    width_ = layout.width;

    if (!parent) {
        return; // a host without windows: the layout and rows only
    }
    QFont font = host_.DialogFont();
    int innerTop = y_ + 1;
    int innerHeight = std::max(0, height_ - 2);
    int staticTop = y_ + (height_ - textHeight) / 2;
    if (input.hasValue) {
        valueWindow_ = MakePanelEdit(parent, multiLine, true);
        valueWindow_->setFont(font);
        valueWindow_->setGeometry(layout.valueLeft, innerTop, layout.valueWidth, innerHeight);
        valueWindow_->show();
        if (input.infoWidth > 0) {
            infoStatic_ = MakePanelStatic(parent, valueInfo, font);
            infoStatic_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            infoStatic_->setGeometry(layout.infoLeft, staticTop, input.infoWidth, textHeight);
        }
    }
    for (size_t index = 0; index < rows_.size(); ++index) {
        Row& row = rows_[index];
        const ControlLayout::Row& placed = layout.rows[index];
        row.nameLabel = MakePanelStatic(parent, rowNames[index], font);
        row.nameLabel->setGeometry(placed.nameLeft, staticTop, input.rows[index].nameWidth, textHeight);
        if (placed.editWidth >= kMinEditWidth) {
            row.edit = MakePanelEdit(parent, multiLine, false);
            row.edit->setFont(font);
            SetPanelEditText(row.edit, row.parameter.value);
            row.edit->setGeometry(placed.editLeft, innerTop, placed.editWidth, innerHeight);
            row.edit->show();
        }
        if (input.rows[index].infoWidth > 0) {
            row.infoLabel = MakePanelStatic(parent, rowInfos[index], font);
            row.infoLabel->setGeometry(placed.infoLeft, staticTop, input.rows[index].infoWidth, textHeight);
        }
    }
    if (input.buttonWidth > 0) {
        button_ = new QPushButton(QString::fromStdU16String(buttonCaption), parent);
        button_->setFont(font);
        button_->setGeometry(layout.buttonLeft, innerTop, layout.buttonWidth, innerHeight);
        QObject::connect(button_, &QPushButton::clicked, button_, [this] {
            // Whether the Set waits for the next refresh is decided before it becomes an operation itself.
            bool queue = host_.RefreshRunning();
            host_.RunOperation([this, queue] { ExecuteSet(queue); });
        });
        button_->show();
    }
    if (valueWindow_) {
        SetPanelEditText(valueWindow_, shownText_);
        SetPanelEditColor(valueWindow_, shownColor_);
    }
}

void CPObjectControl::DestroyWindows() {
    CPObject::DestroyWindows();
    for (Row& row : rows_) {
        delete row.nameLabel.data();
        delete row.edit.data();
        delete row.infoLabel.data();
    }
    rows_.clear();
    delete button_.data();
    delete infoStatic_.data();
    delete valueWindow_.data();
}

HRESULT CPObjectControl::ComposeRefreshScript(std::u16string& script) {
    HRESULT hr = CPObject::ComposeRefreshScript(script);
    if (FAILED(hr) || value_.empty()) {
        return hr;
    }
    script += ComposeGetScript(getTemplate_, VariablesOf(name_), spec_, value_, description_);
    script += u"\r\n";
    return S_OK;
}

bool CPObjectControl::ReadScriptVariable(const std::u16string& name, std::u16string* text) {
    IScrivon* scriptExec = worker_ ? worker_->ScriptExecProxy : nullptr;
    OwnedBstr property(name);
    OwnedVariant value;
    HRESULT hr = scriptExec ? scriptExec->GetProperty(property.text, &value.value) : E_POINTER;
    if (FAILED(hr)) {
        SetTraceMethodName(u"CPObjectControl::ShowValue()");
        SetTraceSiteAt("PObjectControl", __LINE__);
        TraceHResultError(hr, u"Error during GetProperty('%s') of the ScriptExecutive.", name.c_str());
        return false;
    }
    *text = ScriptValueText(value.value);
    return true;
}

void CPObjectControl::ShowValueText(const std::u16string& text, const QColor& color) {
    shownText_ = text;
    shownColor_ = color;
    if (valueWindow_) {
        SetPanelEditText(valueWindow_, text);
        SetPanelEditColor(valueWindow_, color);
        valueWindow_->update();
    }
}

bool CPObjectControl::ShowValue() {
    if (value_.empty()) {
        return true;
    }
    ControlVariables variables = VariablesOf(name_);
    bool checked = !spec_.empty() && spec_.front() != u'{';
    std::u16string text;
    bool readable = ReadScriptVariable(variables.value, &text);
    std::u16string validText;
    if (readable && checked) {
        readable = ReadScriptVariable(variables.valid, &validText);
    }
    readValue_ = readable ? text : std::u16string();
    bool formatValid = true;
    if (readable) {
        std::optional<std::u16string> formatted = FormatDisplayValue(format_, text);
        formatValid = formatted.has_value();
        text = formatted.value_or(std::u16string());
    }
    bool valid = !checked || vr::EqualsNoCase(validText, u"true");
    validity_ = !readable || !formatValid ? u"unreadable"
                : !checked                ? u"unchecked"
                : valid                   ? u"valid"
                                          : u"NOT valid";
    if (!readable) {
        ShowValueText(u"<ERROR>", kInvalidColor);
    } else if (!formatValid) {
        // A display format that is not one number conversion would read the value wrongly or not at all.
        ShowValueText(vr::FormatWString(u"<ERROR> Wrong display format '%ls'", format_.c_str()),
                      kInvalidColor);
    } else {
        ShowValueText(text, !checked ? kPlainColor : (valid ? kValidColor : kInvalidColor));
    }
    if (!readable || !formatValid || !valid) {
        StopLoopWhenAsked();
    }
    return readable && formatValid;
}

void CPObjectControl::StopLoopWhenAsked() {
    IVrTestEngine* engine = worker_ ? worker_->EngineProxy : nullptr;
    if (!engine) {
        return;
    }
    OwnedBstr name(u"StopLoopIfFailed");
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (FAILED(engine->IsOptionEnabled(name.text, &enabled)) || enabled != VARIANT_TRUE) {
        return;
    }
    for (const char16_t* option : {u"StopLoop", u"StopNotValid"}) {
        OwnedBstr optionName(option);
        OwnedBstr trueText(u"true");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = trueText.text;
        // A failed put leaves the loop running; the next bad value asks again.
        (void)engine->put_option(optionName.text, value);
    }
}

std::optional<std::u16string> CPObjectControl::ShownValueLine() const {
    if (value_.empty() || !validity_) {
        return std::nullopt;
    }
    return (description_.empty() ? name_ : description_) + u": '" + readValue_ + u"' " + validity_ +
           u", shown as '" + shownText_ + u"'";
}

std::u16string CPObjectControl::ValueText() const {
    return shownText_;
}

QColor CPObjectControl::ValueColor() const {
    return shownColor_;
}

QWidget* CPObjectControl::RowEdit(size_t index) const {
    return index < rows_.size() ? rows_[index].edit : nullptr;
}

bool CPObjectControl::EntryIsValid(const SetParameter& row) {
    if (!validator_) {
        return false;
    }
    OwnedBstr valueText(row.value);
    OwnedBstr specText(row.spec);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = valueText.text;
    VARIANT spec;
    VariantInit(&spec);
    spec.vt = VT_BSTR;
    spec.bstrVal = specText.text;
    VARIANT_BOOL valid = VARIANT_FALSE;
    HRESULT hr = validator_->IsValid(value, spec, MissingArgument(), MissingArgument(), &valid);
    return SUCCEEDED(hr) && valid == VARIANT_TRUE;
}

void CPObjectControl::ExecuteSet() {
    ExecuteSet(host_.RefreshRunning());
}

void CPObjectControl::ExecuteSet(bool queueForRefresh) {
    host_.SetStatus(u"Executing ...");
    // Every row's entry is kept, also when one of them is refused below.
    for (Row& row : rows_) {
        if (row.edit) {
            row.parameter.value = PanelEditText(row.edit);
        }
    }
    std::vector<SetParameter> entries;
    for (const Row& row : rows_) {
        entries.push_back(row.parameter);
    }
    paramValues_ = ParamValuesOf(entries);

    std::u16string script;
    for (const SetParameter& entry : entries) {
        if (entry.name.empty() || entry.value.empty()) {
            host_.SetStatus(u"Run-Time Error");
            (void)host_.ShowMessage(vr::FormatWString(u"Control Object '%ls': Parameter '%s' is empty.",
                                                      description_.c_str(), entry.name.c_str()),
                                    u"Run-Time Error", MB_OK | MB_ICONERROR, true); // only OK
            return;
        }
        if (!EntryIsValid(entry)) {
            host_.SetStatus(u"Wrong entry value");
            (void)host_.ShowMessage(
                vr::FormatWString(u"Control Object '%ls': Parameter '%s' has an invalid value '%s'.",
                                  description_.c_str(), entry.name.c_str(), entry.value.c_str()),
                u"Run-Time Error", MB_OK | MB_ICONERROR, true); // only OK
            return;
        }
        script += ComposeSetLine(setTemplate_, entry);
    }
    script += setScript_;
    if (!script.empty()) {
        if (queueForRefresh) {
            queuedScript_ = script; // the worker runs one request at a time: the next refresh takes it
            return;
        }
        if (!RunRequest(u"_execute", script)) {
            return;
        }
    }
    std::u16string refresh;
    bool refreshed =
        SUCCEEDED(ComposeRefreshScript(refresh)) && RunRequest(u"_execute", refresh) && ShowValue();
    host_.SetStatus(refreshed ? u"Ready" : u"Run-Time Error");
}
