// Apartments: the call queue, pumping, waits that serve calls, carried calls and closing.
#include "apartment_thread.h"
#include "conformance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vrtest {
namespace {

bool Readable(int fd) {
    pollfd probe{fd, POLLIN, 0};
    return poll(&probe, 1, 0) == 1;
}

class ApartmentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

// Runs work on a new thread that belongs to no apartment and waits for it.
template <class F>
auto OnOtherThread(F work) {
    return std::async(std::launch::async, work).get();
}

TEST_F(ApartmentTest, PumpingRunsQueuedCallsInOrderOnTheOwningThread) {
    vr::ApartmentRef apartment = vr::ThisApartment();
    ASSERT_TRUE(apartment);
    std::vector<int> ran;
    OnOtherThread([&] {
        for (int i = 1; i <= 3; ++i) {
            EXPECT_TRUE(apartment->Post([&ran, i] { ran.push_back(i); }));
        }
        return 0;
    });
    EXPECT_TRUE(ran.empty()) << "queued calls wait for a pump";
    EXPECT_TRUE(Readable(vr::ApartmentQueueDescriptor()));
    EXPECT_EQ(vr::PumpMessages(), 3);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(Readable(vr::ApartmentQueueDescriptor()));
    EXPECT_EQ(vr::PumpMessages(), 0);
}

TEST_F(ApartmentTest, CallsQueuedDuringAPumpWaitForTheNextOne) {
    vr::ApartmentRef apartment = vr::ThisApartment();
    int second = 0;
    ASSERT_TRUE(apartment->Post([&] { EXPECT_TRUE(apartment->Post([&] { ++second; })); }));
    EXPECT_EQ(vr::PumpMessages(), 1);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(Readable(vr::ApartmentQueueDescriptor())) << "the call left over keeps the descriptor awake";
    EXPECT_EQ(vr::PumpMessages(), 1);
    EXPECT_EQ(second, 1);
}

TEST_F(ApartmentTest, AWaitEndsOnTimeEvenWhileCallsKeepQueueingMore) {
    vr::ApartmentRef apartment = vr::ThisApartment();
    std::atomic<bool> keepGoing{true};
    std::function<void()> again = [&] {
        if (keepGoing) {
            EXPECT_TRUE(apartment->Post(again));
        }
    };
    ASSERT_TRUE(apartment->Post(again));
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD index = 0;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 20, 1, &never, &index), RPC_S_CALLPENDING);
    keepGoing = false;
    EXPECT_EQ(vr::PumpMessages(), 1);
    CloseHandle(never);
}

TEST(ApartmentOutsideTest, ThreadsOfNoApartmentHaveNoQueue) {
    EXPECT_EQ(OnOtherThread([] { return vr::PumpMessages(); }), 0);
    EXPECT_EQ(OnOtherThread([] { return vr::ApartmentQueueDescriptor(); }), -1);
    EXPECT_EQ(OnOtherThread([] { return vr::ThisApartment(); }), nullptr);
    EXPECT_EQ(OnOtherThread([] {
                  static_cast<void>(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                  vr::ApartmentRef none = vr::ThisApartment();
                  CoUninitialize();
                  return none;
              }),
              nullptr);
}

class EventWaitTest : public ApartmentTest {
protected:
    void TearDown() override {
        for (HANDLE event : events_) {
            CloseHandle(event);
        }
        ApartmentTest::TearDown();
    }
    HANDLE Event(bool manualReset, bool signalled = false) {
        events_.push_back(CreateEventW(nullptr, manualReset, signalled, nullptr));
        return events_.back();
    }

private:
    std::vector<HANDLE> events_;
};

TEST_F(EventWaitTest, ATimeoutAnswersCallPendingAfterTheTimeHasPassed) {
    HANDLE never = Event(true);
    DWORD index = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 30, 1, &never, &index), RPC_S_CALLPENDING);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &never, &index), RPC_S_CALLPENDING);
}

TEST_F(EventWaitTest, TheSignalledHandleIsNamedAndAutoResetEventsAreTakenByTheWait) {
    HANDLE handles[3] = {Event(false), Event(false), Event(true)};
    DWORD index = 99;
    ASSERT_TRUE(SetEvent(handles[1]));
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 3, handles, &index), S_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 3, handles, &index), RPC_S_CALLPENDING)
        << "an auto-reset event ends one wait only";

    ASSERT_TRUE(SetEvent(handles[2]));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 3, handles, &index), S_OK);
        EXPECT_EQ(index, 2u) << "a manual-reset event stays signalled";
    }
    ASSERT_TRUE(ResetEvent(handles[2]));
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 3, handles, &index), RPC_S_CALLPENDING);
}

TEST_F(EventWaitTest, WaitingForAllTakesNothingUntilEveryHandleIsSignalled) {
    HANDLE handles[2] = {Event(false), Event(false)};
    DWORD index = 99;
    ASSERT_TRUE(SetEvent(handles[0]));
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_WAITALL, 20, 2, handles, &index), RPC_S_CALLPENDING);
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &handles[0], &index), S_OK)
        << "the signalled event was left for other waits";
    ASSERT_TRUE(SetEvent(handles[0]));
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(handles[1]);
    });
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_WAITALL, INFINITE, 2, handles, &index), S_OK);
    EXPECT_EQ(index, 0u);
    late.join();
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 2, handles, &index), RPC_S_CALLPENDING);
}

// A worker's loop: it reports done and waits for all of one handle, which the other thread signals the moment
// it sees the report, often before the wait sleeps. A wait that missed it would sleep on until something else
// came: a guard queues a call to this thread after a long while, which wakes such a wait and tells the test.
TEST_F(EventWaitTest, WaitingForAllSeesAHandleSignalledJustBeforeItSleeps) {
    HANDLE done = Event(false);
    HANDLE wake = Event(false);
    HANDLE finished = Event(true);
    constexpr int kRounds = 2000;
    std::atomic<bool> stop{false};
    std::atomic<bool> stalled{false};
    std::thread peer([&] {
        DWORD index = 0;
        while (!stop.load()) {
            // Spinning, it answers as fast as a thread can, within the waiter's few instructions.
            if (CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &done, &index) == S_OK) {
                SetEvent(wake);
            }
        }
    });
    vr::ApartmentRef apartment = vr::ThisApartment();
    std::thread guard([&] {
        DWORD index = 0;
        if (CoWaitForMultipleHandles(COWAIT_DEFAULT, 60000, 1, &finished, &index) != S_OK) {
            stalled.store(true);
            (void)apartment->Post([] {}); // the queued call wakes the stalled wait
        }
    });
    DWORD index = 99;
    for (int round = 0; round < kRounds && !stalled.load(); ++round) {
        SetEvent(done);
        EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_WAITALL, INFINITE, 1, &wake, &index), S_OK);
    }
    EXPECT_FALSE(stalled.load()) << "a wait for all slept although its handle was signalled";
    stop.store(true);
    SetEvent(finished);
    peer.join();
    guard.join();
}

TEST_F(EventWaitTest, BadArgumentsAreRefused) {
    HANDLE event = Event(true, true);
    DWORD index = 0;
    int notAnEvent = 0;
    HANDLE wrong = &notAnEvent;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &event, nullptr), E_INVALIDARG);
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 0, &event, &index), E_INVALIDARG);
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, nullptr, &index), E_INVALIDARG);
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &wrong, &index), E_INVALIDARG);
    HANDLE null = nullptr;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 0, 1, &null, &index), E_INVALIDARG);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Named"), nullptr);
    EXPECT_FALSE(SetEvent(wrong));
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST_F(EventWaitTest, AWaitServesCallsCarriedToItsApartment) {
    vr::ApartmentRef apartment = vr::ThisApartment();
    HANDLE finished = Event(true);
    LONGLONG ranOn = 0;
    std::thread caller([&] {
        EXPECT_EQ(apartment->Call([&] {
            ranOn = ThisThreadId();
            return S_OK;
        }),
                  S_OK);
        SetEvent(finished);
    });
    DWORD index = 99;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &finished, &index), S_OK);
    caller.join();
    EXPECT_EQ(ranOn, ThisThreadId());
}

TEST_F(ApartmentTest, CarriedCallsBringTheirErrorInformationAndNoStaleOne) {
    ApartmentThread far;
    EXPECT_EQ(far.Run([] { return vr::ReportError(E_ACCESSDENIED, IID_NULL, u"Far", u"locked"); }),
              E_ACCESSDENIED);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(info->GetDescription(&text), S_OK);
    EXPECT_EQ(std::u16string(text), u"locked");
    SysFreeString(text);

    ASSERT_EQ(vr::ReportError(E_FAIL, IID_NULL, u"Here", u"stale"), E_FAIL);
    EXPECT_EQ(far.Run([] { return S_OK; }), S_OK);
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE) << "the call's outcome replaces what the thread held";
}

TEST_F(ApartmentTest, ACallThatThrowsFailsAsAServerFault) {
    ApartmentThread far;
    EXPECT_EQ(far.Run([]() -> HRESULT { throw std::runtime_error("broken"); }), RPC_E_SERVERFAULT);
    EXPECT_EQ(far.Run([] { return S_FALSE; }), S_FALSE) << "the far thread serves on";
}

TEST_F(ApartmentTest, TwoApartmentsCallingEachOtherAtOnceBothFinish) {
    ApartmentThread a;
    ApartmentThread b;
    std::promise<void> bothInside;
    std::shared_future<void> go = bothInside.get_future().share();
    std::atomic<int> inside{0};
    auto crossCall = [&](ApartmentThread& from, ApartmentThread& to) {
        return from.Run([&] {
            if (++inside == 2) {
                bothInside.set_value();
            }
            go.wait(); // both threads are now busy in a call before either calls the other
            LONGLONG ranOn = 0;
            HRESULT hr = to.Run([&] {
                ranOn = ThisThreadId();
                return S_OK;
            });
            return SUCCEEDED(hr) && ranOn != ThisThreadId() ? S_OK : E_FAIL;
        });
    };
    auto first = std::async(std::launch::async, [&] { return crossCall(a, b); });
    auto second = std::async(std::launch::async, [&] { return crossCall(b, a); });
    EXPECT_EQ(first.get(), S_OK);
    EXPECT_EQ(second.get(), S_OK);
}

TEST(ApartmentClosingTest, AClosedApartmentRefusesCallsAndFailsThoseStillQueued) {
    std::promise<vr::ApartmentRef> opened;
    std::promise<void> release;
    std::thread owner([&] {
        static_cast<void>(CoInitialize(nullptr));
        opened.set_value(vr::ThisApartment());
        release.get_future().wait(); // busy: serves nothing
        CoUninitialize();
    });
    vr::ApartmentRef apartment = opened.get_future().get();
    std::atomic<bool> ran{false};
    auto queued = std::async(std::launch::async, [&] {
        return apartment->Call([&] {
            ran = true;
            return S_OK;
        });
    });
    while (apartment->QueuedCount() == 0) {
        std::this_thread::yield();
    }
    release.set_value();
    EXPECT_EQ(queued.get(), RPC_E_DISCONNECTED);
    owner.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(apartment->IsClosed());
    EXPECT_EQ(apartment->Call([] { return S_OK; }), RPC_E_DISCONNECTED);
    EXPECT_FALSE(apartment->Post([] {}));
}

TEST(ApartmentClosingTest, AThreadThatEndsWithoutUninitialisingClosesItsApartment) {
    vr::ApartmentRef apartment = std::async(std::launch::async, [] {
                                     static_cast<void>(CoInitialize(nullptr));
                                     return vr::ThisApartment();
                                 }).get();
    ASSERT_TRUE(apartment);
    EXPECT_TRUE(apartment->IsClosed());
    EXPECT_EQ(apartment->Call([] { return S_OK; }), RPC_E_DISCONNECTED);
}

} // namespace
} // namespace vrtest
