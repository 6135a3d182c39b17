// The graph control as scripts reach it (members through IDispatch, argument errors as wCode 1001) and as
// the test engine finds it: registered in the running object table while its window exists.
#include "GraphDraw.h"
#include "PlotvaneCtrl.h"
#include "PlotvaneWidget.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"
#include "platform/ui/message_box.h"
#include "platform/ui/tests/test_application.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>
#include <vector>

namespace plotvane {
namespace {

// What one call gave back.
struct Call {
    HRESULT hr = E_UNEXPECTED;
    _variant_t result;
    EXCEPINFO excep{};
    Call() = default;
    Call(const Call&) = delete;
    ~Call() { vr::ClearExcepInfo(&excep); }
    std::u16string Description() const {
        return excep.bstrDescription ? std::u16string(excep.bstrDescription) : std::u16string();
    }
};

// Arguments in their natural order; a put passes its value last.
void Invoke(IDispatch* object, const char16_t* name, WORD flags, std::vector<_variant_t> arguments,
            Call& call) {
    std::u16string copy(name);
    LPOLESTR names[] = {copy.data()};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                      put ? 1u : 0u};
    call.hr = object->Invoke(id, IID_NULL, 0, flags, &params, &call.result, &call.excep, nullptr);
}

class PlotvaneDispatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(vr::ComObject<CPlotvaneCtrl>::Create(&control_), S_OK);
        graph_ = static_cast<IPlotvane*>(control_.Get());
    }
    void TearDown() override {
        graph_ = nullptr;
        control_ = nullptr;
        CoUninitialize();
    }
    HRESULT Run(const char16_t* name, std::vector<_variant_t> arguments) {
        Call call;
        Invoke(graph_, name, DISPATCH_METHOD, std::move(arguments), call);
        return call.hr;
    }
    // The call fails with wCode 1001 and this text.
    void ExpectArgumentError(const char16_t* name, std::vector<_variant_t> arguments, std::u16string text) {
        Call call;
        Invoke(graph_, name, DISPATCH_METHOD, std::move(arguments), call);
        EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(call.excep.wCode, 1001);
        EXPECT_EQ(call.excep.scode, 0);
        EXPECT_EQ(call.Description(), text);
    }
    const Graph& GraphAt(int index) { return control_->Plot().GraphAt(index); }

    vr::ComObjectPtr<CPlotvaneCtrl> control_;
    IDispatch* graph_ = nullptr;
};

TEST_F(PlotvaneDispatchTest, WavesArriveAsTextArraysAndNumbers) {
    ASSERT_EQ(Run(u"PutWave", {u"1;2;3"}), S_OK);
    EXPECT_EQ(GraphAt(1).y, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(GraphAt(1).nextX, -2);

    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    const _variant_t elements[] = {u"3", u"abc", LONG{4}};
    for (LONG i = 0; i < 3; ++i) {
        ASSERT_EQ(SafeArrayPutElement(array, &i, &elements[i]), S_OK);
    }
    _variant_t wave;
    wave.vt = VT_ARRAY | VT_VARIANT;
    wave.parray = array;
    ASSERT_EQ(Run(u"PutWave", {wave, vr::MissingArgument(), LONG{2}}), S_OK);
    EXPECT_EQ(GraphAt(2).y, (std::vector<double>{3, 4}));

    ASSERT_EQ(Run(u"PutWave", {5.5, 0.25, LONG{0}}), S_OK);
    EXPECT_EQ(GraphAt(0).x, (std::vector<double>{-5}));
    EXPECT_EQ(GraphAt(0).xStep, 0.25);

    ExpectArgumentError(u"PutWave", {1.0, u"wide"}, u"graph.PutWave(): Wrong value of 'XStep' parameter.");
    _variant_t nothing;
    nothing.vt = VT_DISPATCH;
    nothing.pdispVal = nullptr;
    Call call;
    Invoke(graph_, u"PutWave", DISPATCH_METHOD, {nothing}, call);
    EXPECT_EQ(call.excep.wCode, 1001);
    EXPECT_EQ(call.Description().rfind(u"graph.PutWave(): Wrong value of 'Data' parameter: \"", 0), 0u);
}

TEST_F(PlotvaneDispatchTest, GraphIndexesAreCheckedBeforeAnythingChanges) {
    ASSERT_EQ(Run(u"PutPoint", {1.0, 2.0, LONG{4}}), S_OK);
    ASSERT_EQ(Run(u"PutPoint", {1.0, 2.0}), S_OK);
    ExpectArgumentError(u"PutPoint", {0.0, 0.0, LONG{5}},
                        u"graph.PutPoint(): Wrong value of 'GraphIndex' parameter.");
    ExpectArgumentError(u"PutPoint", {0.0, 0.0, LONG{-1}},
                        u"graph.PutPoint(): Wrong value of 'GraphIndex' parameter.");
    ExpectArgumentError(u"ClearGraph", {LONG{5}},
                        u"graph.ClearGraph(): Wrong value of 'GraphIndex' parameter.");
    ExpectArgumentError(u"PutWave", {1.0, 0.0, u"x"},
                        u"graph.PutWave(): Wrong value of 'GraphIndex' parameter.");
    ExpectArgumentError(u"SetGraphName", {u"a", LONG{-2}},
                        u"graph.SetGraphName(): Wrong value of 'GraphIndex' parameter.");
    ExpectArgumentError(u"SetOptions", {u"DotOnly", LONG{7}},
                        u"graph.SetOptions(): Wrong value of 'GraphIndex' parameter.");
    EXPECT_EQ(GraphAt(4).x.size(), 1u);
    EXPECT_EQ(GraphAt(1).x.size(), 1u);
    ASSERT_EQ(Run(u"ClearGraph", {LONG{-3}}), S_OK);
    EXPECT_TRUE(GraphAt(4).x.empty());
    EXPECT_TRUE(GraphAt(1).x.empty());
}

TEST_F(PlotvaneDispatchTest, OptionsNamesAndTheWindowProperty) {
    ASSERT_EQ(Run(u"SetOptions", {u"GraphName=volts", LONG{3}}), S_OK);
    EXPECT_EQ(GraphAt(1).name, u"volts");
    ExpectArgumentError(u"SetOptions", {u"LineWidth=11"},
                        u"graph.SetOptions(): Wrong value of 'LineWidth' parameter.");
    ExpectArgumentError(u"SetOptions", {u"XLabelFormat=%s"},
                        u"graph.SetOptions(): Wrong value of 'XLabelFormat' parameter.");
    ExpectArgumentError(u"Init", {u"YLabelFormat='%n %d'"},
                        u"graph.SetOptions(): Wrong value of 'YLabelFormat' parameter.");
    ASSERT_EQ(Run(u"Init", {u"Caption='A B' LineWidth=4"}), S_OK);
    EXPECT_EQ(control_->Plot().Caption(), u"A B");
    EXPECT_EQ(GraphAt(1).name, u"");
    EXPECT_EQ(GraphAt(0).lineWidth, 4);
    ASSERT_EQ(Run(u"Init", {LONG{3}}), S_OK);
    EXPECT_EQ(control_->Plot().Caption(), u"");

    vrtest::TestApplication();
    vr::ui::MessageBoxSeen about;
    vr::ui::AnswerNextMessageBox(IDOK, &about);
    ASSERT_EQ(Run(u"AboutBox", {}), S_OK);
    EXPECT_EQ(about.caption, u"About Plotvane Control");
    EXPECT_EQ(about.text, u"Plotvane Control, Version 1.0");

    Call get;
    Invoke(graph_, u"window", DISPATCH_PROPERTYGET, {LONG{0}}, get);
    EXPECT_EQ(get.hr, S_OK);
    EXPECT_EQ(get.result.vt, VT_DISPATCH);
    EXPECT_EQ(get.result.pdispVal, nullptr);
    Call byDefault; // the window property is the default member too
    VARIANT number = _variant_t(LONG{1});
    DISPPARAMS index{&number, nullptr, 1, 0};
    EXPECT_EQ(graph_->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &index, &byDefault.result,
                             nullptr, nullptr),
              S_OK);
    EXPECT_EQ(byDefault.result.vt, VT_DISPATCH);
    Call put;
    Invoke(graph_, u"window", DISPATCH_PROPERTYPUT, {LONG{0}, _variant_t(graph_, true)}, put);
    EXPECT_EQ(put.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(put.excep.wCode, 1001);
    EXPECT_EQ(put.Description(), u"Vornic Error: A648 (PlotvaneCtrl)");
}

// The registered server by its ProgID: found in the running object table while its window lives, its
// outside users cut off when the window goes.
TEST_F(PlotvaneDispatchTest, RunningObjectLivesAsLongAsTheWindow) {
    vrtest::TestApplication();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kPlotvaneProgId, &clsid), S_OK);
    ASSERT_EQ(clsid, CLSID_PlotvaneCtrl);
    vr::ComPtr<IUnknown> found;
    EXPECT_EQ(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, found.Put()), MK_E_UNAVAILABLE);

    auto* parent = new QWidget;
    parent->resize(200, 100);
    vr::ui::ControlHandle control;
    ASSERT_EQ(vr::ui::CreateControl(clsid, parent, QRect(0, 0, 200, 100), &control), S_OK);
    QWidget* window = control.widget;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(200, 100));
    vr::ComPtr<IVrControl> maker;
    ASSERT_EQ(control.dispatch->QueryInterface(IID_IVrControl, maker.PutVoid()), S_OK);
    QWidget* second = nullptr;
    EXPECT_EQ(maker->CreateControlWidget(parent, QRect(), &second), E_UNEXPECTED);
    maker = nullptr;
    control.dispatch = nullptr; // the outside lock keeps it

    ASSERT_EQ(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, found.Put()), S_OK);
    vr::ComPtr<IDispatch> graph;
    ASSERT_EQ(found->QueryInterface(IID_IDispatch, graph.PutVoid()), S_OK);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(graph->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, vr::uuidof<IPlotvane>());
    info->ReleaseTypeAttr(attributes);
    info->Release();

    Call call;
    Invoke(graph.Get(), u"PutPoint", DISPATCH_METHOD, {0.0, 0.0}, call);
    ASSERT_EQ(call.hr, S_OK);
    const QImage picture = window->grab().toImage();
    EXPECT_EQ(picture.pixelColor(113, 47), QColor(0, 255, 0)); // the point's square, graph 1's colour
    // A failed wave leaves no incremental paint behind: the cleared graph is erased from the picture.
    Call wave;
    Invoke(graph.Get(), u"PutWave", DISPATCH_METHOD, {1.0, u"wide"}, wave);
    ASSERT_EQ(wave.hr, DISP_E_EXCEPTION);
    Call clear;
    Invoke(graph.Get(), u"ClearGraph", DISPATCH_METHOD, {}, clear);
    ASSERT_EQ(clear.hr, S_OK);
    EXPECT_EQ(window->grab().toImage().pixelColor(113, 47),
              QColor(0, 80, 0)); // the major grid lines' crossing

    delete parent;
    EXPECT_EQ(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, found.Put()), MK_E_UNAVAILABLE);
    UINT count = 0;
    EXPECT_EQ(graph->GetTypeInfoCount(&count), RPC_E_DISCONNECTED);
}

// Points drawn one paint at a time over the kept picture, and points whose paints were held back and come
// in one paint, leave every pixel as one full paint of the same model does.
TEST_F(PlotvaneDispatchTest, AddedPointsPaintAsAFullPaintWould) {
    vrtest::TestApplication();
    QWidget parent;
    parent.resize(320, 220);
    QWidget* created = nullptr;
    ASSERT_EQ(control_->CreateControlWidget(&parent, QRect(0, 0, 320, 220), &created), S_OK);
    auto* window = static_cast<PlotvaneWidget*>(created);
    parent.show();
    ASSERT_EQ(Run(u"SetDataWindow", {0.0, 60.0, 10.0, 0.0, 100.0, 20.0}), S_OK);
    ASSERT_EQ(Run(u"SetOptions", {u"LineWidth=3 GraphName=volts Caption=sweep", 0}), S_OK);
    ASSERT_EQ(Run(u"SetCursor", {30.0}), S_OK);
    QApplication::processEvents(); // the full paint the options asked for

    const auto fullPaint = [&] {
        QImage image(window->size(), QImage::Format_RGB32);
        const FrameColours colours = FrameColours::FromPalette(window->palette());
        image.fill(colours.window);
        QPainter painter(&image);
        PaintGraph(painter, control_->Plot(), true, colours);
        return image;
    };
    // Crossing curves of three graphs (graph 3 below graph 1's line, graph 0 wide), points past the window
    // that run off the plot, a marker in the middle of it all.
    const auto addPoints = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            ASSERT_EQ(Run(u"PutPoint", {i * 0.5, (i * 37) % 130 - 10.0}), S_OK);
            ASSERT_EQ(Run(u"PutPoint", {i * 0.5, 100.0 - i, 3}), S_OK);
            if (i % 3 == 0) {
                ASSERT_EQ(Run(u"PutPoint", {60.0 - i * 0.4, i % 90 + 5.0, 0}), S_OK);
            }
            if (i == 40) {
                ASSERT_EQ(Run(u"SetMarker", {21.0}), S_OK);
            }
        }
    };
    addPoints(0, 80);
    EXPECT_TRUE(window->Picture() == fullPaint());

    // Paints held back (as when points come faster than the window draws): one paint brings them all.
    window->setUpdatesEnabled(false);
    addPoints(80, 130);
    ASSERT_EQ(Run(u"PutWave", {u"10,90,20,80", 0.0, 2}), S_OK);
    window->setUpdatesEnabled(true);
    QApplication::processEvents();
    EXPECT_EQ(GraphAt(1).x.size(), 130u);
    EXPECT_EQ(GraphAt(2).x.size(), 4u);
    EXPECT_TRUE(window->Picture() == fullPaint());

    // Removing every marker is no addition: the next paint is full and the marker is gone.
    ASSERT_EQ(Run(u"SetMarker", {kNone}), S_OK);
    EXPECT_TRUE(window->Picture() == fullPaint());
}

} // namespace
} // namespace plotvane
