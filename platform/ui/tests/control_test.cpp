// Control hosting: a class that is no registered control is refused, a notice reaches the parent only when
// its event loop runs, and a lent object is found only for its type and only in its own apartment.
#include "platform/com/activation.h"
#include "platform/com/marshal.h"
#include "platform/com/variant.h"
#include "platform/ui/control.h"
#include "platform/ui/tests/test_application.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr GUID kListType = vr::MakeGuid("5E3C2B1A-0F9E-4D8C-B7A6-958473625140");
constexpr GUID kOtherType = vr::MakeGuid("6F4D3C2B-1A0F-4E9D-8C7B-A69584736251");

class Notices : public QWidget {
public:
    bool event(QEvent* event) override {
        if (event->type() == vr::ui::ControlNotice::EventType()) {
            auto* notice = static_cast<vr::ui::ControlNotice*>(event);
            seen.push_back({notice->Message(), notice->Sender(), notice->Text()});
            return true;
        }
        return QWidget::event(event);
    }
    struct Seen {
        UINT message;
        QWidget* sender;
        QString text;
    };
    std::vector<Seen> seen;
};

TEST(ControlHostingTest, UnregisteredClassIsNoControlAndNoticesArePosted) {
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Notices parent;
    vr::ui::ControlHandle control;
    EXPECT_EQ(vr::ui::CreateControl(kOtherType, &parent, QRect(0, 0, 10, 10), &control), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(control.dispatch);
    EXPECT_EQ(vr::ui::CreateControl(kOtherType, nullptr, QRect(), &control), E_INVALIDARG);

    QWidget sender(&parent);
    vr::ui::PostControlNotice(&parent, 0x8155, &sender, "Connection:Timeout");
    EXPECT_TRUE(parent.seen.empty()); // posted, not sent
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(parent.seen.size(), 1u);
    EXPECT_EQ(parent.seen[0].message, 0x8155u);
    EXPECT_EQ(parent.seen[0].sender, &sender);
    EXPECT_EQ(parent.seen[0].text, "Connection:Timeout");
    CoUninitialize();
}

TEST(ControlHostingTest, LentObjectIsFoundForItsTypeInItsApartmentOnly) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    int list = 0;
    VARIANT lent;
    VariantInit(&lent);
    ASSERT_EQ(vr::ui::LendObject(kListType, &list, &lent), S_OK);
    EXPECT_EQ(lent.vt, VT_UNKNOWN);
    EXPECT_EQ(vr::ui::LentObjectOf(lent, kListType), &list);
    EXPECT_EQ(vr::ui::LentObjectOf(lent, kOtherType), nullptr);
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    EXPECT_EQ(vr::ui::LentObjectOf(number, kListType), nullptr);

    // Handed to another apartment, the loan is no pointer there: it cannot be marshalled, or its proxy
    // does not lend.
    LPSTREAM stream = nullptr;
    HRESULT marshalled = CoMarshalInterThreadInterfaceInStream(IID_IUnknown, lent.punkVal, &stream);
    void* foundThere = &list;
    std::thread other([&] {
        (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // the thread's own apartment
        VARIANT there;
        VariantInit(&there);
        if (SUCCEEDED(marshalled) && SUCCEEDED(CoGetInterfaceAndReleaseStream(
                                         stream, IID_IUnknown, reinterpret_cast<void**>(&there.punkVal)))) {
            there.vt = VT_UNKNOWN;
            foundThere = vr::ui::LentObjectOf(there, kListType);
            (void)VariantClear(&there); // the proxy's reference, given back
        } else {
            foundThere = nullptr;
        }
        CoUninitialize();
    });
    other.join();
    EXPECT_EQ(foundThere, nullptr);
    (void)VariantClear(&lent); // the loan's one reference
    CoUninitialize();
}

} // namespace
