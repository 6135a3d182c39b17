// The editor control on the offscreen platform through its host wrapper: created by CLSID, filled from a
// collection or a lent list, edited by typing, its change reported as a signal and a notice to the parent,
// stored, and gone with its wrapper.
#include "common/AttrValue.h"
#include "common/widgets/Formiq.h"
#include "controls/Formiq/include/formiq.h"
#include "formiq_test_support.h"
#include "platform/com/comutil.h"
#include "platform/ui/control.h"
#include "platform/ui/tests/test_application.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using formiqtest::MakeCollection;
using formiqtest::ValueOf;

// Keeps the control notices its parent receives.
class NoticeRecorder : public QObject {
public:
    struct Seen {
        UINT message;
        QWidget* sender;
        QString text;
    };
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == vr::ui::ControlNotice::EventType()) {
            auto* notice = static_cast<vr::ui::ControlNotice*>(event);
            seen.push_back({notice->Message(), notice->Sender(), notice->Text()});
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
    std::vector<Seen> seen;
};

// The value combo of the row whose label shows name.
QComboBox* RowCombo(QWidget* control, const QString& name) {
    for (QLabel* label : control->findChildren<QLabel*>()) {
        if (label->text() == name) {
            return label->parentWidget()->findChild<QComboBox*>();
        }
    }
    return nullptr;
}

void DeliverPosted() {
    for (int round = 0; round < 3; ++round) { // a queued notice may post the next one
        QCoreApplication::sendPostedEvents();
    }
}

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
    DeliverPosted();

    ASSERT_FALSE(changes.isEmpty());
    EXPECT_EQ(changes.back().at(0).toString(), "Connection:Timeout");
    EXPECT_EQ(changes.back().at(1).toString(), "2500");
    ASSERT_FALSE(notices.seen.empty());
    EXPECT_EQ(notices.seen.back().message, WM_ATTRIBUTE_CHANGED);
    EXPECT_EQ(notices.seen.back().sender, form.Widget());
    EXPECT_EQ(notices.seen.back().text, "Connection:Timeout");

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

} // namespace
