// The panel's graph box (a graph control that is the engine's graph while its scripts run), group box (a
// frame around other objects, hit only on its border band) and picture (an image file shown in a label).
//
// Threads: window thread only. Failures: as CPObject.
#pragma once

#include "PanelObject.h"

#include "platform/ui/control.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>

class CPObjectGraph : public CPObject {
public:
    CPObjectGraph(IPanelHost& host, CTestExecutive* worker);
    ~CPObjectGraph() override;

    const char16_t* GetType() const override { return u"graph"; }
    [[nodiscard]] HRESULT Load(CXmlFile& file, const vr::xml::Node& element) override;
    std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const override;
    void Show(bool hide) override;
    // Fills empty scripts with the language's defaults (missing: "Configuration data for '%ls' Script
    // Language is not found." and E_FAIL), creates the graph control once ("Couldn't create Plotvane ActiveX
    // control." and E_FAIL), makes it the engine's graph and runs the 'Initialize' script.
    [[nodiscard]] HRESULT Initialize(bool create) override;
    // Hides the graph control (it lives as long as the object).
    void DestroyWindows() override;
    // Makes this graph the engine's graph and runs its 'Refresh' script (and a queued script).
    bool ShowValue() override;
    // A graph's 'Refresh' script runs on its own in ShowValue, with engine.graph naming it.
    [[nodiscard]] HRESULT ComposeRefreshScript(std::u16string& script) override;
    void Edit() override;
    void ExecuteSet() override {}
    void OnLayout() override {}

    // The graph control's dispatch interface (null before it was made).
    IDispatch* Graph() const { return graph_.dispatch.Get(); }
    QWidget* GraphWindow() const { return graph_.widget; }

private:
    bool FillDefaultScripts();
    bool PutEngineGraph();

    vr::ui::ControlHandle graph_; // made once; window thread
};

class CPObjectGroup : public CPObject {
public:
    CPObjectGroup(IPanelHost& host, CTestExecutive* worker);
    ~CPObjectGroup() override;

    const char16_t* GetType() const override { return u"group"; }
    // Only the border band: inside the widened rectangle and at most 12 pixels inside its edges.
    bool HitTest(int x, int y) const override;
    [[nodiscard]] HRESULT Load(CXmlFile& file, const vr::xml::Node& element) override;
    std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const override;
    void Show(bool hide) override;
    [[nodiscard]] HRESULT Initialize(bool create) override;
    void DestroyWindows() override;
    void Edit() override;
    void ExecuteSet() override {}
    void OnLayout() override {}

    QGroupBox* GroupBox() const { return box_; }

private:
    QPointer<QGroupBox> box_; // owned (a child of the host's parent)
};

class CPObjectPicture : public CPObject {
public:
    CPObjectPicture(IPanelHost& host, CTestExecutive* worker);
    ~CPObjectPicture() override;

    const char16_t* GetType() const override { return u"picture"; }
    [[nodiscard]] HRESULT Load(CXmlFile& file, const vr::xml::Node& element) override;
    [[nodiscard]] HRESULT Save(CXmlFile& file, const vr::xml::Node& element) override;
    std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const override;
    void CopyTo(CPObject& target) const override;
    void Show(bool hide) override;
    // Shows the image file in the image label (a file that cannot be read: "Couldn't load image file:
    // '%ls'" and its error; the object goes on without an image) and runs the 'Initialize' script.
    [[nodiscard]] HRESULT Initialize(bool create) override;
    void DestroyWindows() override;
    void Edit() override;
    void ExecuteSet() override {}
    void OnLayout() override {}

    const std::u16string& File() const { return file_; }
    void SetFile(std::u16string path) { file_ = std::move(path); }
    QLabel* ImageLabel() const { return image_; }
    // Whether the label shows an image.
    bool HasImage() const;

private:
    void LoadImage();

    std::u16string file_;
    QPointer<QLabel> image_; // owned (a child of the host's parent); made once
    bool imageMade_ = false; // the label was asked for (made or failed): window thread
};
