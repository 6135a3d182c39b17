// A panel collection without a display, for tests and the panel fuzz target: a host without windows, worker
// or anybody to answer, and objects of the type they were read as, with the base's loading and saving.
#pragma once

#include "VrDev/Panolix/PanelObjects.h"
#include "platform/base/text.h"

#include <memory>
#include <string>
#include <string_view>

namespace panolixtest {

class HeadlessHost : public IPanelHost {
public:
    void SetStatus(std::u16string_view) override {}
    QFont DialogFont() const override { return QFont(); }
    PanelTextExtent MeasureText(std::u16string_view text) const override {
        return PanelTextExtent{static_cast<int>(text.size()) * 6, 13};
    }
    int AverageCharWidth() const override { return 6; }
    QWidget* ObjectParent() const override { return nullptr; }
    void Repaint() override {}
    void FitToObjects() override {}
    void SetObjectCursor(Qt::CursorShape) override {}
    void RunObjectCommand(PanelObjectCommand) override {}
    CTestExecutive* Worker() const override { return nullptr; }
    void PumpWhileWaiting() override {}
    int ShowMessage(std::u16string_view, std::u16string_view, UINT, bool) override { return 1; }
    std::u16string NewName() override { return objects->NewName(); }
    void AddObject(std::unique_ptr<CPObject> object) override { objects->Add(std::move(object)); }
    void ShowAllObjects(bool hide) override { objects->ShowAll(hide); }
    bool RefreshRunning() const override { return objects->RefreshRunning(); }

    panolix::CPObjects* objects = nullptr; // set by whoever makes the collection
};

class TestObject : public CPObject {
public:
    TestObject(std::u16string type, IPanelHost& host) : CPObject(host, nullptr), type_(std::move(type)) {}
    const char16_t* GetType() const override { return type_.c_str(); }
    std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive*) const override {
        return std::make_unique<TestObject>(type_, host);
    }
    void Edit() override {}
    void ExecuteSet() override {}
    void OnLayout() override {}

private:
    std::u16string type_;
};

// The collection's factory: a TestObject for each known type, compared as the collection compares them.
inline std::unique_ptr<CPObject> MakeTestObject(std::u16string_view type, IPanelHost& host, CTestExecutive*) {
    for (const char16_t* known : {u"control", u"graph", u"group", u"picture"}) {
        if (vr::EqualsNoCase(type, known)) {
            return std::make_unique<TestObject>(known, host);
        }
    }
    return nullptr;
}

} // namespace panolixtest
