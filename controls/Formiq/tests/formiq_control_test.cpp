// The editor control on the offscreen platform through its host wrapper: created by CLSID, filled from a
// collection or a lent list, edited by typing, its change reported as a signal and a notice to the parent,
// stored, and gone with its wrapper; its property page and the options its type library declares.
#include "common/attrvalues/AttrValue.h"
#include "common/widgets/Formiq.h"
#include "controls/Formiq/include/formiq.h"
#include "formiq_test_support.h"
#include "platform/com/comutil.h"
#include "platform/com/typelib.h"
#include "platform/ui/control.h"
#include "platform/ui/tests/test_application.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using formiqtest::MakeCollection;
using formiqtest::ValueOf;

using formiqtest::RowCombo;

// Keeps the control notices its parent receives.
class NoticeRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != vr::ui::ControlNotice::EventType()) {
            return QObject::eventFilter(watched, event);
        }
        seen.push_back(*static_cast<vr::ui::ControlNotice*>(event));
        return true;
    }
    std::vector<vr::ui::ControlNotice> seen;
};

class FormiqControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        collection = MakeCollection();
        parent = std::make_unique<QWidget>();
        parent->resize(420, 320);
        parent->installEventFilter(&notices);
    }
    void TearDown() override {
        parent.reset();
        collection = nullptr;
        CoUninitialize();
    }

    vr::ComPtr<IVrAttributeCollection> collection;
    std::unique_ptr<QWidget> parent;
    NoticeRecorder notices;
};

TEST_F(FormiqControlTest, TypedValueIsReportedReadBackAndStored) {
    CFormiq form;
    ASSERT_TRUE(form.Create("Settings", QRect(0, 0, 400, 300), parent.get(), 7));
    ASSERT_NE(form.Widget(), nullptr);
    EXPECT_EQ(form.Widget()->parentWidget(), parent.get());
    ASSERT_TRUE(form.Init(collection.Get(), nullptr, 140, "ShowNameAsStandardStatic", "Foo=1",
                          "Timeout='NotEditable=false MaxNumOfRecentValues=0 EditChangeDelay=0'"));
    QSignalSpy changes(form.Widget(), kFormiqAttributeChangedSignal);
    ASSERT_TRUE(changes.isValid());

    QComboBox* timeout = RowCombo(form.Widget(), "Connection:Timeout :");
    ASSERT_NE(timeout, nullptr);
    ASSERT_TRUE(timeout->isEditable());
    timeout->lineEdit()->clear();
    QTest::keyClicks(timeout->lineEdit(), "2500");
    QCoreApplication::sendPostedEvents(); // the row's notice to the form, then the control's to its parent
    QCoreApplication::sendPostedEvents();

    ASSERT_FALSE(changes.isEmpty());
    EXPECT_EQ(changes.back().at(0).toString(), "Connection:Timeout");
    EXPECT_EQ(changes.back().at(1).toString(), "2500");
    ASSERT_FALSE(notices.seen.empty());
    EXPECT_EQ(notices.seen.back().Message(), WM_ATTRIBUTE_CHANGED);
    EXPECT_EQ(notices.seen.back().Sender(), form.Widget());
    EXPECT_EQ(notices.seen.back().Text(), "Connection:Timeout");

    EXPECT_EQ(form.GetAttributes(),
              "Connection:SimulationFile='' Connection:Timeout=2500 Device:Range=10 Socket:Mode=auto Foo=1");
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:Timeout"), "2000");
    form.StoreAttributeValues();
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:Timeout"), "2500");

    // The form keeps the size it got when the control was made.
    auto* area = form.Widget()->findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->size(), QSize(396, 296));
    form.Widget()->resize(200, 100);
    EXPECT_EQ(area->size(), QSize(396, 296));

    form.Clear();
    EXPECT_EQ(form.GetAttributes(), "");
    EXPECT_EQ(RowCombo(form.Widget(), "Connection:Timeout :"), nullptr);
}

TEST_F(FormiqControlTest, HostListIsEditedInPlaceAndOtherValuesAreRefused) {
    CAttrValueList host;
    host.Add(new CAttrValue("SN", "MaxNumOfRecentValues=0 EditChangeDelay=0"));
    host.GetAt(0)->SetValueText("1234");
    CFormiq form;
    ASSERT_TRUE(form.Create("Host", QRect(0, 0, 300, 200), parent.get(), 1));

    VARIANT wrong;
    VariantInit(&wrong);
    wrong.vt = VT_I4;
    EXPECT_FALSE(form.Init(nullptr, &wrong, 100, "", "", ""));
    VARIANT otherType;
    VariantInit(&otherType);
    ASSERT_EQ(vr::ui::LendObject(GUID_NULL, &host, &otherType), S_OK);
    EXPECT_FALSE(form.Init(nullptr, &otherType, 100, "", "", ""));
    (void)VariantClear(&otherType); // one reference, given back
    EXPECT_EQ(form.GetAttributes(), "");

    VARIANT lent;
    VariantInit(&lent);
    ASSERT_EQ(CFormiq::LendValueList(&host, &lent), S_OK);
    ASSERT_TRUE(form.Init(nullptr, &lent, 100, "", "", ""));
    (void)VariantClear(&lent); // the control took no reference to the list, only used it
    QComboBox* sn = RowCombo(form.Widget(), "SN");
    ASSERT_NE(sn, nullptr);
    EXPECT_EQ(sn->currentText(), "1234");
    sn->lineEdit()->clear();
    QTest::keyClicks(sn->lineEdit(), "987");
    form.StoreAttributeValues();
    EXPECT_STREQ(host.GetAt(0)->GetValueText(), "987");
    EXPECT_EQ(form.GetAttributes(), "SN=987");

    QPointer<QWidget> widget = form.Widget();
    form.Clear();
    EXPECT_EQ(host.GetCount(), 1); // the host's values stay
    EXPECT_STREQ(host.GetAt(0)->GetValueText(), "987");

    // A failed call reaches the host as an exception: a control whose window is gone has no form.
    delete widget.data();
    EXPECT_THROW(form.Clear(), _com_error);
}

// The control's registered companions: its empty property page, made by its ProgID, and the options
// enumeration its type library (read from the registered file, as a container reads it) declares.
TEST_F(FormiqControlTest, PropertyPageShowsNothingAndTheLibraryDeclaresTheOptions) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(kFormiqPropPageProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_FormiqPropPage);
    vr::ComPtr<IVrControl> page;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrControl>(), page.PutVoid()),
        S_OK);
    QWidget* widget = nullptr;
    ASSERT_EQ(page->CreateControlWidget(parent.get(), QRect(0, 0, 200, 100), &widget), S_OK);
    EXPECT_TRUE(widget && widget->children().isEmpty());

    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_FORMIQLib, kFormiqLibMajorVersion, kFormiqLibMinorVersion, 0, lib.Put()),
              S_OK);
    vr::ComPtr<ITypeInfo> options;
    for (UINT k = 0; k < lib->GetTypeInfoCount() && !options; ++k) {
        TYPEKIND kind = TKIND_COCLASS;
        BSTR name = nullptr;
        if (SUCCEEDED(lib->GetTypeInfoType(k, &kind)) && kind == TKIND_ENUM &&
            SUCCEEDED(lib->GetDocumentation(static_cast<INT>(k), &name, nullptr, nullptr, nullptr)) &&
            vr::BstrView(name) == u"FormiqOptions") {
            EXPECT_EQ(lib->GetTypeInfo(k, options.Put()), S_OK);
        }
        SysFreeString(name);
    }
    ASSERT_TRUE(options) << "no FormiqOptions in FORMIQLib";
    VARDESC* constant = nullptr;
    ASSERT_EQ(options->GetVarDesc(0, &constant), S_OK);
    BSTR name = nullptr;
    UINT count = 0;
    EXPECT_EQ(options->GetNames(constant->memid, &name, 1, &count), S_OK);
    EXPECT_EQ(vr::BstrView(name), u"FORMIQ_SHOWSUPPLEMENTARYSETUP");
    ASSERT_EQ(constant->lpvarValue->vt, VT_I4);
    EXPECT_EQ(constant->lpvarValue->lVal, FORMIQ_SHOWSUPPLEMENTARYSETUP);
    SysFreeString(name);
    options->ReleaseVarDesc(constant);
}

} // namespace
