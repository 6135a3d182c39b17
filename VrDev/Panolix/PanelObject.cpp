// The panel object base: geometry, loading and saving, the caption label, the refresh text, design mode's
// dragging and frame, the object menu, and the wait for the worker's requests.
#include "PanelObject.h"
#include "PanelNumbers.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "common/worker/TestExecutive.h"
#include "common/xmlfile/XmlFile.h"

#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/ui/message_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int kHitMargin = 2;   // a click this far outside the rectangle still hits it
constexpr int kMinDragSize = 5; // a drag never makes an object smaller

// A BSTR that frees itself.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    std::u16string Text() const { return std::u16string(vr::BstrView(text)); }
};

} // namespace

CPObject::CPObject(IPanelHost& host, CTestExecutive* worker) : host_(host), worker_(worker) {}

CPObject::~CPObject() {
    delete caption_.data();
}

bool CPObject::HitTest(int x, int y) const {
    return x >= x_ - kHitMargin && x <= x_ + width_ + kHitMargin && y >= y_ - kHitMargin &&
           y <= y_ + height_ + kHitMargin;
}

void CPObject::SetPosition(int x, int y) {
    x_ = x;
    y_ = y;
}

void CPObject::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
}

HRESULT CPObject::Load(CXmlFile& file, const vr::xml::Node& element) {
    SetTraceMethodName(u"CPObject::Load()");
    struct IntegerAttribute {
        const char16_t* name;
        int* target;
        panolix::NumberRange range;
    };
    const IntegerAttribute integers[] = {{u"x", &x_, panolix::kPositionRange},
                                         {u"y", &y_, panolix::kPositionRange},
                                         {u"width", &width_, panolix::kSizeRange},
                                         {u"height", &height_, panolix::kSizeRange}};
    for (const IntegerAttribute& item : integers) {
        OwnedBstr text;
        HRESULT hr = file.GetAttribute(u".", item.name, &text.text, element);
        LONG value = 0;
        if (FAILED(hr) || !TextToLong(&value, text.text ? text.text : u"", 10, true, false)) {
            TraceError(u"Vornic Error: A%d (%hs)", __LINE__, "PObject");
            return FAILED(hr) ? hr : E_INVALIDARG;
        }
        // Within the window's reach, so that no sum of them overflows and nothing is painted for ever.
        *item.target =
            panolix::ClampedPanelNumber(std::u16string(u"object's ") + item.name, value, item.range);
    }
    OwnedBstr description;
    HRESULT hr = file.GetAttribute(u".", u"description", &description.text, element);
    if (FAILED(hr)) {
        return hr;
    }
    description_ = description.Text();
    struct TextElement {
        const char16_t* name;
        std::u16string* target;
    };
    const TextElement texts[] = {
        {u"initscript", &initScript_}, {u"setscript", &setScript_}, {u"getscript", &getScript_}};
    for (const TextElement& item : texts) {
        OwnedBstr text;
        hr = file.GetElementText(item.name, &text.text, element);
        if (FAILED(hr)) {
            return hr;
        }
        *item.target = text.Text();
    }
    return S_OK;
}

HRESULT CPObject::Save(CXmlFile& file, const vr::xml::Node& element) {
    SetTraceMethodName(u"CPObject::Save()");
    HRESULT hr = file.SetAttribute(u".", u"type", GetType(), element);
    const std::pair<const char16_t*, int> integers[] = {
        {u"x", x_}, {u"y", y_}, {u"width", width_}, {u"height", height_}};
    for (const auto& [name, value] : integers) {
        if (SUCCEEDED(hr)) {
            hr = file.SetAttribute(u".", name, vr::FormatWString(u"%d", value).c_str(), element);
        }
    }
    if (SUCCEEDED(hr)) {
        // An empty description is written as an empty attribute, not removed.
        hr = file.SetAttribute(u".", u"description", description_.c_str(), element);
    }
    const std::pair<const char16_t*, const std::u16string*> texts[] = {
        {u"initscript", &initScript_}, {u"setscript", &setScript_}, {u"getscript", &getScript_}};
    for (const auto& [name, text] : texts) {
        if (SUCCEEDED(hr)) {
            hr = file.SetElementText(name, text->c_str(), element);
        }
    }
    return hr;
}

void CPObject::CopyTo(CPObject& target) const {
    target.description_ = description_;
    target.getScript_ = getScript_;
    target.initScript_ = initScript_;
    target.name_ = u"_" + name_;
    target.language_ = language_;
    target.setScript_ = setScript_;
    target.x_ = x_;
    target.y_ = y_;
    target.width_ = width_;
    target.height_ = height_;
    target.labelWidth_ = labelWidth_;
    target.bounds_ = bounds_;
}

void CPObject::Show(bool hide) {
    if (caption_) {
        caption_->setVisible(!hide);
    }
}

HRESULT CPObject::Initialize(bool create) {
    DestroyWindows();
    labelWidth_ = 0;
    if (!create || description_.empty()) {
        return S_OK;
    }
    std::u16string text = description_ + u" :";
    PanelTextExtent extent = host_.MeasureText(text);
    labelWidth_ = extent.width + 3 * host_.AverageCharWidth();
    QWidget* parent = host_.ObjectParent();
    if (!parent) {
        return S_OK; // a host without windows: the layout still counts the label
    }
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText); // no mnemonic or markup in a caption
    label->setText(QString::fromStdU16String(text));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(host_.DialogFont());
    int top = y_ + (height_ - extent.height) / 2 + 1;
    label->setGeometry(x_ + 3, top, std::max(0, labelWidth_ - 3), extent.height);
    label->show();
    caption_ = label;
    return S_OK;
}

void CPObject::DestroyWindows() {
    delete caption_.data();
    caption_ = nullptr;
}

bool CPObject::ShowValue() {
    return true;
}

HRESULT CPObject::ComposeRefreshScript(std::u16string& script) {
    if (!getScript_.empty()) {
        script += getScript_;
        script += u"\r\n";
    }
    if (!queuedScript_.empty()) {
        script += queuedScript_;
        script += u"\r\n";
    }
    queuedScript_.clear();
    return S_OK;
}

void CPObject::DrawFrame(QPainter& painter, bool designMode) const {
    if (!designMode) {
        return;
    }
    painter.save();
    if (IsDragging()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(dragRect_.x(), dragRect_.y(), dragRect_.width(), dragRect_.height());
    } else {
        painter.setPen(
            QPen(QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(x_, y_, width_, height_);
    }
    painter.restore();
}

PanelDragMode CPObject::ModeAt(int x, int y) const {
    bool right = std::abs(x - (x_ + width_)) <= kHitMargin;
    bool bottom = std::abs(y - (y_ + height_)) <= kHitMargin;
    if (right && bottom) {
        return PanelDragMode::ResizeBottomRight;
    }
    if (right) {
        return PanelDragMode::ResizeRight;
    }
    if (bottom) {
        return PanelDragMode::ResizeBottom;
    }
    return PanelDragMode::Move;
}

Qt::CursorShape CPObject::CursorOf(PanelDragMode mode) {
    switch (mode) {
    case PanelDragMode::ResizeBottomRight:
        return Qt::SizeFDiagCursor;
    case PanelDragMode::ResizeRight:
        return Qt::SizeHorCursor;
    case PanelDragMode::ResizeBottom:
        return Qt::SizeVerCursor;
    case PanelDragMode::Move:
        return Qt::SizeAllCursor;
    case PanelDragMode::Copy:
        return Qt::UpArrowCursor;
    case PanelDragMode::None:
        break;
    }
    return Qt::ArrowCursor;
}

bool CPObject::OnMouse(const PanelMouse& mouse, bool* redraw, bool designMode) {
    if (redraw) {
        *redraw = false;
    }
    if (!designMode) {
        return false;
    }
    switch (mouse.action) {
    case PanelMouseAction::LeftDown:
        if (!HitTest(mouse.x, mouse.y)) {
            return false;
        }
        StartDrag(mouse);
        return true;
    case PanelMouseAction::Move:
        if (!IsDragging()) {
            if (!HitTest(mouse.x, mouse.y)) {
                return false;
            }
            host_.SetObjectCursor(CursorOf(ModeAt(mouse.x, mouse.y)));
            return true;
        }
        if (mouse.leftButton) {
            FollowDrag(mouse);
        } else {
            EndDrag(true); // its release went elsewhere: the object is not left hidden
        }
        return true;
    case PanelMouseAction::LeftUp:
        if (!IsDragging()) {
            return false;
        }
        FinishDrag();
        if (redraw) {
            *redraw = true;
        }
        return true;
    }
    return false;
}

void CPObject::StartDrag(const PanelMouse& mouse) {
    dragStart_ = QPoint(mouse.x, mouse.y);
    dragRect_ = Rect();
    dragMode_ = mouse.control ? PanelDragMode::Copy : ModeAt(mouse.x, mouse.y);
    host_.SetObjectCursor(CursorOf(dragMode_));
    if (dragMode_ != PanelDragMode::Copy) {
        DestroyWindows(); // remade where the drag ends
    }
    host_.ShowAllObjects(true);
}

void CPObject::FollowDrag(const PanelMouse& mouse) {
    int dx = mouse.x - dragStart_.x();
    int dy = mouse.y - dragStart_.y();
    int width = width_;
    int height = height_;
    int x = x_;
    int y = y_;
    switch (dragMode_) {
    case PanelDragMode::ResizeBottomRight:
        width += dx;
        height += dy;
        break;
    case PanelDragMode::ResizeRight:
        width += dx;
        break;
    case PanelDragMode::ResizeBottom:
        height += dy;
        break;
    case PanelDragMode::Move:
    case PanelDragMode::Copy:
        x += dx;
        y += dy;
        break;
    case PanelDragMode::None:
        return;
    }
    width = std::max(width, kMinDragSize);
    height = std::max(height, kMinDragSize);
    x = std::min(x, bounds_.right);
    y = std::min(y, bounds_.bottom);
    dragRect_ = QRect(x, y, width, height);
    host_.SetObjectCursor(CursorOf(dragMode_));
    host_.Repaint();
}

void CPObject::FinishDrag() {
    PanelDragMode mode = dragMode_;
    dragMode_ = PanelDragMode::None;
    if (mode == PanelDragMode::Copy) {
        std::unique_ptr<CPObject> copy = CreateOfSameType(host_, worker_);
        CopyTo(*copy);
        copy->SetName(host_.NewName());
        copy->SetPosition(dragRect_.x(), dragRect_.y());
        copy->SetSize(dragRect_.width(), dragRect_.height());
        if (SUCCEEDED(copy->Initialize(true))) {
            host_.AddObject(std::move(copy));
        }
    } else {
        SetPosition(dragRect_.x(), dragRect_.y());
        SetSize(dragRect_.width(), dragRect_.height());
        // A failure leaves the object without windows until it is initialised again; the object has shown
        // or recorded why.
        (void)Initialize(true);
    }
    host_.ShowAllObjects(false);
    host_.Repaint();
    host_.FitToObjects();
}

void CPObject::EndDrag(bool cancel) {
    if (!IsDragging()) {
        return;
    }
    if (!cancel) {
        FinishDrag();
        return;
    }
    PanelDragMode mode = dragMode_;
    dragMode_ = PanelDragMode::None;
    if (mode != PanelDragMode::Copy) {
        (void)Initialize(true); // its windows went when the drag began; a failure was shown by Initialize
    }
    host_.ShowAllObjects(false);
    host_.Repaint();
}

void CPObject::OnContextMenu(int x, int y) {
    QWidget* parent = host_.ObjectParent();
    if (!parent) {
        return;
    }
    QMenu menu(parent);
    QAction* edit = menu.addAction(QStringLiteral("&Edit"));
    QAction* remove = menu.addAction(QStringLiteral("&Remove"));
    QAction* chosen = menu.exec(parent->mapToGlobal(QPoint(x, y)));
    if (chosen == edit) {
        host_.RunObjectCommand(PanelObjectCommand::Edit);
    } else if (chosen == remove) {
        host_.RunObjectCommand(PanelObjectCommand::Remove);
    }
}

bool CPObject::RunRequest(std::u16string_view name, std::u16string_view first, std::u16string_view second) {
    if (!worker_) {
        host_.SetStatus(u"Run-Time Error");
        return false;
    }
    if (!worker_->Request(vr::AllocBstr(name), vr::AllocBstr(first), vr::AllocBstr(second))) {
        host_.SetStatus(u"Run-Time Error"); // another request still runs: its waiter keeps its result
        return false;
    }
    return WaitForWorker();
}

bool CPObject::RunDirect(std::u16string_view script) {
    if (!worker_) {
        host_.SetStatus(u"Run-Time Error");
        return false;
    }
    if (!worker_->AddScriptNow(vr::AllocBstr(script))) {
        host_.SetStatus(u"Run-Time Error"); // as RunRequest
        return false;
    }
    return WaitForWorker();
}

bool CPObject::WaitForWorker() {
    for (;;) {
        LONG status = 0;
        BSTR line = nullptr;
        while (worker_->GetOutput(&status, &line)) {
            SysFreeString(line); // an object shows no output lines
            line = nullptr;
        }
        SysFreeString(line);
        if (worker_->GetState() == CTestExecutive::kDone) {
            break;
        }
        host_.PumpWhileWaiting();
    }
    OwnedBstr error;
    HRESULT hr = S_OK;
    worker_->GetError(&error.text, &hr);
    if (SUCCEEDED(hr)) {
        return true;
    }
    host_.SetStatus(u"Run-Time Error");
    (void)host_.ShowMessage(error.Text(), u"Run-Time Error", MB_OK | MB_ICONERROR, false); // only OK
    return false;
}
