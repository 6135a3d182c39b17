// The graph, group and picture objects of a panel.
#include "PanelObjectKinds.h"

#include "ControlLogic.h"

#include "VrDev/PlotvaneCtrl/include/plotvane.h"
#include "common/config/VrConfigData.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "common/worker/TestExecutive.h"
#include "common/xmlfile/XmlFile.h"

#include "platform/base/file_read.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/ui/message_box.h"

#include <QImage>
#include <QPixmap>

namespace {

constexpr int kGroupBorderBand = 12; // a group is hit this far inside its edges, not further in
constexpr DISPID kPlotvaneInit = 1;

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

QRect InsetByOne(const QRect& rect) {
    return rect.adjusted(1, 1, -1, -1);
}

// Calls the graph control's Init with the option string.
HRESULT InitGraph(IDispatch* graph, const std::u16string& options) {
    OwnedBstr text(options);
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text.text;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    return graph->Invoke(kPlotvaneInit, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

} // namespace

// ---- Graph ----

CPObjectGraph::CPObjectGraph(IPanelHost& host, CTestExecutive* worker) : CPObject(host, worker) {}

CPObjectGraph::~CPObjectGraph() {
    delete graph_.widget.data(); // ends the control's registration; the object goes with its last reference
}

HRESULT CPObjectGraph::Load(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Load(file, element);
    return FAILED(hr) ? hr : Initialize(true);
}

std::unique_ptr<CPObject> CPObjectGraph::CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const {
    return std::make_unique<CPObjectGraph>(host, worker);
}

void CPObjectGraph::Show(bool hide) {
    CPObject::Show(hide);
    if (graph_.widget) {
        graph_.widget->setVisible(!hide);
    }
}

void CPObjectGraph::DestroyWindows() {
    CPObject::DestroyWindows();
    if (graph_.widget) {
        graph_.widget->hide();
    }
}

bool CPObjectGraph::FillDefaultScripts() {
    struct DefaultScript {
        const char16_t* item;
        std::u16string* script;
    };
    const DefaultScript defaults[] = {{u"PnxDefaultGraphInitScript_", &initScript_},
                                      {u"PnxDefaultGraphRefreshScript_", &getScript_}};
    for (const DefaultScript& entry : defaults) {
        if (!entry.script->empty()) {
            continue;
        }
        OwnedBstr stored;
        if (!CVrConfigData().GetItem(vr::ToUtf8(entry.item + language_).c_str(), &stored.text, true)) {
            std::u16string text = vr::FormatWString(
                u"Configuration data for '%ls' Script Language is not found.", language_.c_str());
            host_.SetStatus(text);
            (void)host_.ShowMessage(text, u"Run-Time Error", MB_OK | MB_ICONERROR, true); // only OK
            return false;
        }
        *entry.script = UnescapeTemplate(stored.Text());
    }
    return true;
}

bool CPObjectGraph::PutEngineGraph() {
    IVrTestEngine* engine = worker_ ? worker_->EngineProxy : nullptr;
    if (!engine || !graph_.dispatch) {
        return false;
    }
    return SUCCEEDED(engine->put_graph(graph_.dispatch.Get()));
}

HRESULT CPObjectGraph::Initialize(bool create) {
    SetTraceMethodName(u"CPObjectGraph::Initialize()");
    (void)create; // a graph box has no caption label
    host_.SetStatus(u"Initializing ...");
    DestroyWindows();
    if (!FillDefaultScripts()) {
        return E_FAIL;
    }
    HRESULT hr = CPObject::Initialize(false);
    if (FAILED(hr)) {
        return hr;
    }
    if (!graph_.dispatch) {
        QWidget* parent = host_.ObjectParent();
        hr = parent ? vr::ui::CreateControl(CLSID_PlotvaneCtrl, parent, InsetByOne(Rect()), &graph_)
                    : E_POINTER;
        if (FAILED(hr)) {
            host_.SetStatus(u"Couldn't create Plotvane ActiveX control.");
            SetTraceSiteAt("PObjectGraph", __LINE__);
            TraceHResultError(hr, u"Couldn't create Plotvane ActiveX control.");
            return E_FAIL;
        }
        graph_.widget->setObjectName(QStringLiteral("WindowName"));
    }
    // The caption goes through the option-string writer, so a quote in the description stays text.
    OwnedBstr options(u"");
    (void)AppendParam(&options.text, u"Caption", description_.c_str(), u" ", true); // a caption too odd to
    // quote (every kind of quote and bracket) leaves the graph without one
    hr = InitGraph(graph_.dispatch.Get(), options.Text());
    if (FAILED(hr) || !PutEngineGraph()) {
        host_.SetStatus(u"Run-Time Error");
        SetTraceSiteAt("PObjectGraph", __LINE__);
        TraceHResultError(FAILED(hr) ? hr : E_FAIL,
                          u"The graph control could not be made the engine's graph.");
        return E_FAIL;
    }
    if (!RunDirect(initScript_)) {
        return E_FAIL; // the wait has shown why
    }
    if (graph_.widget) {
        graph_.widget->setGeometry(InsetByOne(Rect()));
        graph_.widget->show();
    }
    host_.SetStatus(u"Ready");
    return S_OK;
}

bool CPObjectGraph::ShowValue() {
    if (!PutEngineGraph()) {
        return false;
    }
    std::u16string script;
    if (FAILED(CPObject::ComposeRefreshScript(script))) {
        return false;
    }
    return RunDirect(script);
}

HRESULT CPObjectGraph::ComposeRefreshScript(std::u16string& script) {
    (void)script; // the graph's scripts run in ShowValue
    return S_OK;
}

// ---- Group ----

CPObjectGroup::CPObjectGroup(IPanelHost& host, CTestExecutive* worker) : CPObject(host, worker) {}

CPObjectGroup::~CPObjectGroup() {
    delete box_.data();
}

bool CPObjectGroup::HitTest(int x, int y) const {
    if (!CPObject::HitTest(x, y)) {
        return false;
    }
    bool inner = x > x_ + kGroupBorderBand && x < x_ + width_ - kGroupBorderBand &&
                 y > y_ + kGroupBorderBand && y < y_ + height_ - kGroupBorderBand;
    return !inner;
}

HRESULT CPObjectGroup::Load(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Load(file, element);
    return FAILED(hr) ? hr : Initialize(true);
}

std::unique_ptr<CPObject> CPObjectGroup::CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const {
    return std::make_unique<CPObjectGroup>(host, worker);
}

void CPObjectGroup::Show(bool hide) {
    CPObject::Show(hide);
    if (box_) {
        box_->setVisible(!hide);
    }
}

void CPObjectGroup::DestroyWindows() {
    CPObject::DestroyWindows();
    delete box_.data();
}

HRESULT CPObjectGroup::Initialize(bool create) {
    (void)create; // a group box has no caption label: its frame bears the description
    host_.SetStatus(u"Initializing ...");
    DestroyWindows();
    HRESULT hr = CPObject::Initialize(false);
    if (FAILED(hr)) {
        return hr;
    }
    if (QWidget* parent = host_.ObjectParent()) {
        box_ = new QGroupBox(QString::fromStdU16String(description_), parent);
        box_->setFont(host_.DialogFont());
        box_->setGeometry(QRect(QPoint(x_ + 1, y_ + 1), QPoint(x_ + width_ - 2, y_ + height_ - 2)));
        // Below the objects it groups, and clicks go to them.
        box_->setAttribute(Qt::WA_TransparentForMouseEvents);
        box_->lower();
        box_->show();
    }
    if (!initScript_.empty() && !RunRequest(u"_execute", initScript_)) {
        return E_FAIL;
    }
    host_.SetStatus(u"Ready");
    return S_OK;
}

// ---- Picture ----

CPObjectPicture::CPObjectPicture(IPanelHost& host, CTestExecutive* worker) : CPObject(host, worker) {}

CPObjectPicture::~CPObjectPicture() {
    delete image_.data();
}

HRESULT CPObjectPicture::Load(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Load(file, element);
    if (FAILED(hr)) {
        return hr;
    }
    OwnedBstr path;
    hr = file.GetAttribute(u".", u"file", &path.text, element);
    if (FAILED(hr)) {
        return hr;
    }
    file_ = path.Text();
    return Initialize(true);
}

HRESULT CPObjectPicture::Save(CXmlFile& file, const vr::xml::Node& element) {
    HRESULT hr = CPObject::Save(file, element);
    return FAILED(hr) ? hr : file.SetAttribute(u".", u"file", file_.c_str(), element);
}

std::unique_ptr<CPObject> CPObjectPicture::CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const {
    return std::make_unique<CPObjectPicture>(host, worker);
}

void CPObjectPicture::CopyTo(CPObject& target) const {
    CPObject::CopyTo(target);
    if (auto* picture = dynamic_cast<CPObjectPicture*>(&target)) {
        picture->file_ = file_;
    }
}

void CPObjectPicture::Show(bool hide) {
    CPObject::Show(hide);
    if (image_) {
        image_->setVisible(!hide);
    }
}

void CPObjectPicture::DestroyWindows() {
    CPObject::DestroyWindows();
    delete image_.data();
    imageMade_ = false;
}

bool CPObjectPicture::HasImage() const {
    return image_ && !image_->pixmap().isNull();
}

HRESULT CPObjectPicture::Initialize(bool create) {
    SetTraceMethodName(u"CPObjectPicture::Initialize()");
    (void)create; // a picture has no caption label
    host_.SetStatus(u"Initializing ...");
    DestroyWindows();
    HRESULT hr = CPObject::Initialize(false);
    if (FAILED(hr)) {
        return hr;
    }
    if (!imageMade_) {
        imageMade_ = true;
        if (QWidget* parent = host_.ObjectParent()) {
            image_ = new QLabel(parent);
            image_->setObjectName(QStringLiteral("WindowName"));
            image_->setAlignment(Qt::AlignCenter);
            image_->setGeometry(InsetByOne(Rect()));
            image_->show();
        } else {
            // Without a window the object goes on: no image, but its 'Initialize' script runs.
            host_.SetStatus(u"Couldn't create Image ActiveX control.");
            SetTraceSiteAt("PObjectPicture", __LINE__);
            TraceError(u"Couldn't create Image ActiveX control.");
        }
    }
    if (!file_.empty()) {
        LoadImage();
    }
    if (!initScript_.empty() && !RunRequest(u"_execute", initScript_)) {
        return E_FAIL;
    }
    host_.SetStatus(u"Ready");
    return S_OK;
}

void CPObjectPicture::LoadImage() {
    // Only a regular file within the input limit: a FIFO or a device would block or never end.
    std::string bytes;
    vr::FileReadResult read = vr::ReadInputFile(vr::ToUtf8(file_), &bytes);
    if (!read) {
        std::u16string text = vr::FormatWString(u"Couldn't load image file: '%ls'", file_.c_str()) + u"\n" +
                              vr::FromUtf8(read.reason);
        (void)host_.ShowMessage(text, u"Run-Time Error", MB_OK | MB_ICONERROR, false); // only OK
        host_.NoteObjectFault();
        return;
    }
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()))) {
        SetTraceSiteAt("PObjectPicture", __LINE__);
        TraceError(u"OleLoadPicture could not load image file stream: '%s'.", file_.c_str());
        std::u16string text = vr::FormatWString(u"Couldn't load image file: '%ls'", file_.c_str()) +
                              u"\nIts content is no picture that can be read (PNG, JPEG, BMP, GIF).";
        (void)host_.ShowMessage(text, u"Run-Time Error", MB_OK | MB_ICONERROR, false); // only OK
        host_.NoteObjectFault();
        return;
    }
    if (image_) {
        QPixmap pixmap = QPixmap::fromImage(image);
        image_->setPixmap(pixmap.scaled(image_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}
