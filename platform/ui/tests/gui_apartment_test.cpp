// The window thread as an apartment: calls from other threads run in Qt's loop, in pumping waits and while a
// modal box is up; waits end on their event or their time.
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include "platform/com/activation.h"
#include "platform/com/waithandle.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vrtest {
namespace {

class GuiApartmentTest : public testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        apartment_ = vr::ThisApartment();
        ASSERT_TRUE(apartment_);
    }
    void TearDown() override {
        vr::ui::DropModalAnswers();
        apartment_.reset();
        CoUninitialize();
    }

    // A call from another thread into this one's apartment, recording where it ran.
    std::thread CallFromWorker(std::atomic<bool>* ranHere, HRESULT* result, HANDLE doneEvent = nullptr) {
        std::thread::id windowThread = std::this_thread::get_id();
        return std::thread([=, apartment = apartment_] {
            *result = apartment->Call([=] {
                *ranHere = std::this_thread::get_id() == windowThread;
                return S_OK;
            });
            if (doneEvent) {
                SetEvent(doneEvent);
            }
        });
    }

    vr::ApartmentRef apartment_;
};

TEST_F(GuiApartmentTest, CallsFromOtherThreadsRunInQtsEventLoop) {
    std::unique_ptr<vr::ui::GuiApartment> gui;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&gui), S_OK);
    std::unique_ptr<vr::ui::GuiApartment> second;
    EXPECT_EQ(vr::ui::GuiApartment::Create(&second), E_UNEXPECTED);

    QEventLoop loop;
    std::atomic<bool> ranHere{false};
    HRESULT result = E_FAIL;
    std::thread::id windowThread = std::this_thread::get_id();
    std::thread worker([&, apartment = apartment_] {
        result = apartment->Call([&] {
            ranHere = std::this_thread::get_id() == windowThread;
            loop.quit(); // runs on the window thread, inside the loop
            return S_OK;
        });
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(ranHere);
}

TEST_F(GuiApartmentTest, PumpingWaitServesCallsAndEventsUntilSignalled) {
    for (bool withGuiApartment : {true, false}) {
        SCOPED_TRACE(withGuiApartment ? "queue driven by the GuiApartment" : "queue served by the wait");
        std::unique_ptr<vr::ui::GuiApartment> gui;
        if (withGuiApartment) {
            ASSERT_EQ(vr::ui::GuiApartment::Create(&gui), S_OK);
        }
        HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        bool timerRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        std::atomic<bool> ranHere{false};
        HRESULT result = E_FAIL;
        std::thread worker = CallFromWorker(&ranHere, &result, done);
        DWORD index = 99;
        EXPECT_EQ(vr::ui::WaitPumping(10000, 1, &done, &index), S_OK);
        worker.join();
        EXPECT_EQ(index, 0u);
        EXPECT_EQ(result, S_OK);
        EXPECT_TRUE(ranHere);
        EXPECT_TRUE(timerRan);
        // The auto-reset event was taken by the wait.
        EXPECT_EQ(vr::ui::WaitPumping(0, 1, &done, &index), RPC_S_CALLPENDING);
        CloseHandle(done);
    }
}

TEST_F(GuiApartmentTest, PumpPendingRunsWhatWaitsWithoutBlocking) {
    vr::ui::PumpPendingMessages(); // nothing waits: returns at once
    bool posted = false;
    QTimer::singleShot(0, [&] { posted = true; });
    std::atomic<bool> ranHere{false};
    HRESULT result = E_FAIL;
    std::thread worker = CallFromWorker(&ranHere, &result);
    while (apartment_->QueuedCount() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    vr::ui::PumpPendingMessages();
    EXPECT_TRUE(ranHere);
    EXPECT_TRUE(posted);
    worker.join();
    EXPECT_EQ(result, S_OK);
}

TEST_F(GuiApartmentTest, PumpingWaitEndsOnItsTimeOrRefusesBadHandles) {
    HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    DWORD index = 99;
    EXPECT_EQ(vr::ui::WaitPumping(20, 1, events, &index), RPC_S_CALLPENDING);
    EXPECT_EQ(vr::ui::WaitPumping(20, 2, events, &index), S_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(vr::ui::WaitPumping(0, 2, events, nullptr), E_INVALIDARG);
    EXPECT_EQ(vr::ui::WaitPumping(0, 0, events, &index), E_INVALIDARG);
    HANDLE none = nullptr;
    EXPECT_EQ(vr::ui::WaitPumping(0, 1, &none, &index), E_INVALIDARG);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST_F(GuiApartmentTest, CallArrivingDuringAModalBoxRunsWhileItIsUp) {
    std::unique_ptr<vr::ui::GuiApartment> gui;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&gui), S_OK);
    std::atomic<bool> ranHere{false};
    bool boxWasUp = false;
    HRESULT result = E_FAIL;
    std::thread worker;
    std::thread::id windowThread = std::this_thread::get_id();
    vr::ui::AnswerNextModal([&](QDialog& box) {
        worker = std::thread([&, apartment = apartment_] {
            result = apartment->Call([&] {
                ranHere = std::this_thread::get_id() == windowThread;
                boxWasUp = QApplication::activeModalWidget() == static_cast<QWidget*>(&box);
                box.accept();
                return S_OK;
            });
        });
    });
    vr::ui::MessageBox(nullptr, u"Waiting", u"Test", MB_OK);
    worker.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(ranHere);
    EXPECT_TRUE(boxWasUp);
}

TEST_F(GuiApartmentTest, CallThatShowsABoxServesFurtherCallsMeanwhile) {
    // Call A, run from the queue, shows a modal box; call B, made meanwhile, runs nested in that box's loop.
    std::unique_ptr<vr::ui::GuiApartment> gui;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&gui), S_OK);
    std::atomic<bool> nestedRan{false};
    HRESULT nestedResult = E_FAIL;
    std::thread nested;
    vr::ui::AnswerNextModal([&](QDialog& box) {
        nested = std::thread([&, apartment = apartment_] {
            nestedResult = apartment->Call([&] {
                nestedRan = true;
                box.accept();
                return S_OK;
            });
        });
    });
    QEventLoop loop;
    HRESULT outerResult = E_FAIL;
    std::thread outer([&, apartment = apartment_] {
        outerResult = apartment->Call([&] {
            int answer = vr::ui::MessageBox(nullptr, u"Outer call", u"Test", MB_OK);
            loop.quit();
            return answer == IDOK && nestedRan ? S_OK : E_FAIL;
        });
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    outer.join();
    if (nested.joinable()) {
        nested.join();
    }
    EXPECT_EQ(nestedResult, S_OK);
    EXPECT_EQ(outerResult, S_OK);
}

TEST(GuiApartmentWithoutComTest, NeedsTheThreadsApartment) {
    TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> gui;
    EXPECT_EQ(vr::ui::GuiApartment::Create(&gui), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(gui);
}

} // namespace
} // namespace vrtest
