// CPObjects: the panel objects of the open panel, in file order, which is also the order of drawing, hit
// tests and scripts. It makes them by the panel file's types through a factory, loads and saves them, and
// hands the main dialog's requests (refresh, show values, layout, drawing, mouse, hit tests) out to them.
//
// Usage: one per main dialog. LoadAll fills it from /panel/objects (names obj0, obj1, ... in document order,
// whatever the file says); SaveAll writes every object into an emptied /panel/objects; Clear empties it.
// The factory is CreatePanelObject in the program; tests give their own.
//
// Threads: window thread only. Failures: HRESULTs; a failed load empties the collection.
#pragma once

#include "VrDev/Panolix/PanelObject.h"
#include "VrDev/Panolix/PanelRunModel.h"

#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace panolix {

using PanelObjectFactory = std::function<std::unique_ptr<CPObject>(std::u16string_view type, IPanelHost& host,
                                                                   CTestExecutive* worker)>;

// The smallest x and y and the largest right and bottom edges over the objects.
struct PanelExtent {
    int minX = INT_MAX;
    int minY = INT_MAX;
    int maxRight = INT_MIN;
    int maxBottom = INT_MIN;
};

class CPObjects : public PanelContent {
public:
    // The design mode starts as the configuration item PnxDefaultMode says ("Design", any case, is on).
    CPObjects(IPanelHost& host, CTestExecutive* worker, PanelObjectFactory factory = CreatePanelObject);
    ~CPObjects() override;
    CPObjects(const CPObjects&) = delete;
    CPObjects& operator=(const CPObjects&) = delete;

    // "obj%d" with the name counter, which then counts on.
    std::u16string NewName();
    // The file's language (of the root) and every object element; an unknown type is skipped with a
    // warning line, and any other failure empties the collection and is returned.
    HRESULT LoadAll(CXmlFile& file) override;
    // Writes every object into /panel/objects/object[@name='objN'], numbered afresh from 0.
    HRESULT SaveAll(CXmlFile& file) override;
    void Add(std::unique_ptr<CPObject> object);
    // Takes the object out and deletes it; nothing when it is not there.
    void Remove(CPObject* object);
    void Clear() override;
    HRESULT ComposeRefreshScripts(std::u16string* script) override;
    // Every object shows its value; with a report stream, each one that shows a value then writes a line
    // "value <its ShownValueLine>" there (line breaks in it as \n).
    bool ShowValues() override;
    // Where ShowValues reports (null: nowhere); the stream stays the caller's.
    void ReportValuesTo(std::FILE* out) { report_ = out; }
    void SetRefreshRunning(bool running) override { refreshRunning_ = running; }
    bool RefreshRunning() const { return refreshRunning_; }

    void ShowAll(bool hide);
    void EndDragAll(bool cancel);
    void DrawFrames(QPainter& painter) const;
    // Stores the area objects may occupy and hands it to every object.
    void SetBounds(const PanelBounds& bounds);
    PanelExtent GetExtent() const;
    // The first object, in order, that the point hits; null when none does.
    CPObject* ObjectAt(int x, int y) const;
    // Offers the message first to every dragging object, then to every object under the point, in order;
    // true when one took it. *redraw: the dialog is to fit to its objects.
    bool RouteMouse(const PanelMouse& mouse, bool* redraw);
    bool IsDesignMode() const { return designMode_; }
    // Also tells the host (DesignModeChanged).
    void SetDesignMode(bool on);

    const std::u16string& Language() const { return language_; }
    size_t Count() const { return objects_.size(); }
    CPObject* At(size_t index) const { return objects_[index].get(); }

private:
    HRESULT LoadObject(CXmlFile& file, const vr::xml::Node& element);

    IPanelHost& host_;       // window thread, as every member
    CTestExecutive* worker_; // not owned; handed to the objects
    PanelObjectFactory factory_;
    int nameCounter_ = 0;
    PanelBounds bounds_;
    bool designMode_ = false;
    bool refreshRunning_ = false;
    std::u16string language_;
    std::vector<std::unique_ptr<CPObject>> objects_;
    std::FILE* report_ = nullptr; // the caller's; null: the values are only shown
};

} // namespace panolix
