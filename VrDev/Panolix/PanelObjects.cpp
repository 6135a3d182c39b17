// The panel object collection: loading and saving the objects of a panel file and handing the main dialog's
// requests out to them.
#include "VrDev/Panolix/PanelObjects.h"

#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "common/xmlfile/XmlFile.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <algorithm>

namespace panolix {
namespace {

std::u16string TextOf(BSTR text) {
    return std::u16string(vr::BstrView(text));
}

bool DesignModeFromConfiguration() {
    BSTR mode = nullptr;
    bool design = CVrConfigData().GetItem("PnxDefaultMode", &mode, true) &&
                  vr::EqualsNoCase(vr::BstrView(mode), u"design");
    SysFreeString(mode);
    return design;
}

} // namespace

CPObjects::CPObjects(IPanelHost& host, CTestExecutive* worker, PanelObjectFactory factory)
    : host_(host), worker_(worker), factory_(std::move(factory)), designMode_(DesignModeFromConfiguration()) {
}

CPObjects::~CPObjects() = default;

std::u16string CPObjects::NewName() {
    return u"obj" + vr::FromUtf8(std::to_string(nameCounter_++));
}

HRESULT CPObjects::LoadAll(CXmlFile& file) {
    SetTraceMethodName(u"CPObjects::LoadAll()");
    BSTR language = nullptr;
    HRESULT hr = file.GetAttribute(u"/panel", u"language", &language);
    language_ = TextOf(language);
    SysFreeString(language);
    if (FAILED(hr)) {
        return hr;
    }
    nameCounter_ = 0;
    if (!file.GetDocument()) {
        return E_POINTER;
    }
    vr::xml::NodeList elements;
    if (hr = file.GetDocument().selectNodes(u"/panel/objects/object", &elements); FAILED(hr)) {
        return hr;
    }
    for (int32_t index = 0; index < elements.length(); ++index) {
        if (hr = LoadObject(file, elements.item(index)); FAILED(hr)) {
            Clear();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CPObjects::LoadObject(CXmlFile& file, const vr::xml::Node& element) {
    BSTR typeText = nullptr;
    HRESULT hr = file.GetAttribute(u".", u"type", &typeText, element);
    std::u16string type = TextOf(typeText);
    bool hasType = typeText != nullptr;
    SysFreeString(typeText);
    if (FAILED(hr) || !hasType) {
        SetTraceSite();
        TraceError(u"Vornic Error: A%d (%hs)", __LINE__, "PObjects");
        return FAILED(hr) ? hr : E_INVALIDARG;
    }
    std::unique_ptr<CPObject> object = factory_(type, host_, worker_);
    if (!object) {
        std::u16string shown = type;
        TraceInfo(u"WARNING: Unknown object type = '%s'", shown.c_str());
        return S_OK;
    }
    object->SetName(NewName());
    object->SetLanguage(language_);
    object->SetBounds(bounds_);
    if (hr = object->Load(file, element); FAILED(hr)) {
        return hr;
    }
    Add(std::move(object));
    return S_OK;
}

HRESULT CPObjects::SaveAll(CXmlFile& file) {
    SetTraceMethodName(u"CPObjects::SaveAll()");
    nameCounter_ = 0;
    for (const std::unique_ptr<CPObject>& object : objects_) {
        std::u16string path = u"/panel/objects/object[@name = '" + NewName() + u"']";
        vr::xml::Node element;
        if (HRESULT hr = file.GetElement(path.c_str(), &element, true); FAILED(hr)) {
            return hr;
        }
        if (HRESULT hr = object->Save(file, element); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

void CPObjects::Add(std::unique_ptr<CPObject> object) {
    objects_.push_back(std::move(object));
}

void CPObjects::Remove(CPObject* object) {
    auto found =
        std::find_if(objects_.begin(), objects_.end(),
                     [object](const std::unique_ptr<CPObject>& each) { return each.get() == object; });
    if (found != objects_.end()) {
        objects_.erase(found);
    }
}

void CPObjects::Clear() {
    objects_.clear();
    nameCounter_ = 0;
}

HRESULT CPObjects::ComposeRefreshScripts(std::u16string* script) {
    for (const std::unique_ptr<CPObject>& object : objects_) {
        if (HRESULT hr = object->ComposeRefreshScript(*script); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

// Every object shows its value, also after one could not be read.
bool CPObjects::ShowValues() {
    bool all = true;
    for (const std::unique_ptr<CPObject>& object : objects_) {
        all = object->ShowValue() && all;
    }
    if (report_) {
        for (const std::unique_ptr<CPObject>& object : objects_) {
            if (std::optional<std::u16string> line = object->ShownValueLine()) {
                std::string text = vr::ToUtf8(*line);
                for (size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos;) {
                    text.replace(at, 1, text[at] == '\n' ? "\\n" : "");
                }
                std::fprintf(report_, "value %s\n", text.c_str());
            }
        }
        std::fflush(report_); // a reader of a pipe sees each refresh as it ends
    }
    return all;
}

void CPObjects::ShowAll(bool hide) {
    for (const std::unique_ptr<CPObject>& object : objects_) {
        object->Show(hide);
    }
}

void CPObjects::SetDesignMode(bool on) {
    designMode_ = on;
    host_.DesignModeChanged(on);
}

void CPObjects::EndDragAll(bool cancel) {
    for (size_t index = 0; index < objects_.size(); ++index) {
        objects_[index]->EndDrag(
            cancel); // a copy's drag end adds an object: the loop looks at the size again
    }
}

void CPObjects::DrawFrames(QPainter& painter) const {
    for (const std::unique_ptr<CPObject>& object : objects_) {
        object->DrawFrame(painter, designMode_);
    }
}

void CPObjects::SetBounds(const PanelBounds& bounds) {
    bounds_ = bounds;
    for (const std::unique_ptr<CPObject>& object : objects_) {
        object->SetBounds(bounds);
    }
    for (const std::unique_ptr<CPObject>& object : objects_) {
        object->OnLayout();
    }
}

PanelExtent CPObjects::GetExtent() const {
    PanelExtent extent;
    for (const std::unique_ptr<CPObject>& object : objects_) {
        extent.minX = std::min(extent.minX, object->X());
        extent.minY = std::min(extent.minY, object->Y());
        extent.maxRight = std::max(extent.maxRight, object->X() + object->Width());
        extent.maxBottom = std::max(extent.maxBottom, object->Y() + object->Height());
    }
    return extent;
}

CPObject* CPObjects::ObjectAt(int x, int y) const {
    for (const std::unique_ptr<CPObject>& object : objects_) {
        if (object->HitTest(x, y)) {
            return object.get();
        }
    }
    return nullptr;
}

// A drag's end may add a copy to the collection, so the objects are walked by index.
bool CPObjects::RouteMouse(const PanelMouse& mouse, bool* redraw) {
    *redraw = false;
    for (size_t index = 0; index < objects_.size(); ++index) {
        CPObject* object = objects_[index].get();
        if (object->IsDragging() && object->OnMouse(mouse, redraw, designMode_)) {
            return true;
        }
    }
    for (size_t index = 0; index < objects_.size(); ++index) {
        CPObject* object = objects_[index].get();
        if (object->HitTest(mouse.x, mouse.y) && object->OnMouse(mouse, redraw, designMode_)) {
            return true;
        }
    }
    return false;
}

} // namespace panolix
