// The conformance suite run direct (the object in the test thread's apartment), across apartments, across
// processes (the object in a conformance server program started on demand), and across processes through a
// proxy that another thread made and handed over.
#include "apartment_thread.h"
#include "conformance_suite.h"

#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/activation_internal.h"

namespace vrtest {
namespace {

class DirectChannel final : public ConformanceChannel {
public:
    vr::ComPtr<IConformance> Far() override { return MakeConformanceObject(); }
    LONGLONG FarThread() override { return ThisThreadId(); }
};

class ApartmentChannel final : public ConformanceChannel {
public:
    vr::ComPtr<IConformance> Far() override {
        vr::ComPtr<IConformance> far;
        EXPECT_EQ(thread_.Make<IConformance>([] { return MakeConformanceObject(); }, &far), S_OK);
        return far;
    }
    LONGLONG FarThread() override {
        LONGLONG id = 0;
        static_cast<void>(thread_.Run([&] {
            id = ThisThreadId();
            return S_OK;
        }));
        return id;
    }

private:
    ApartmentThread thread_;
};

class ProcessChannel final : public ConformanceChannel {
public:
    ProcessChannel() {
        EXPECT_EQ(
            vr::detail::WriteClassesText(vr::detail::ClassKey(CLSID_ConformanceServer) + u"\\LocalServer32",
                                         u"", vr::FromUtf8(VR_CONFORMANCE_SERVER)),
            ERROR_SUCCESS);
    }
    vr::ComPtr<IConformance> Far() override {
        vr::ComPtr<IConformance> far;
        EXPECT_EQ(CoCreateInstance(CLSID_ConformanceServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IConformance,
                                   far.PutVoid()),
                  S_OK);
        return far;
    }
    // The server makes and serves every object on its main thread: another of its objects tells which.
    LONGLONG FarThread() override {
        LONGLONG id = 0;
        vr::ComPtr<IConformance> other = Far();
        if (other) {
            EXPECT_EQ(other->RunningThread(&id), S_OK);
        }
        return id;
    }
};

// A proxy of the server's object made by another thread, which ends once it has handed the proxy over through
// a stream: the test thread's calls reach the server process without that thread.
class HandedOverProcessChannel final : public ConformanceChannel {
public:
    vr::ComPtr<IConformance> Far() override {
        vr::ComPtr<IConformance> far;
        ApartmentThread maker;
        EXPECT_EQ(maker.Make<IConformance>([this] { return process_.Far(); }, &far), S_OK);
        return far;
    }
    LONGLONG FarThread() override { return process_.FarThread(); }

private:
    ProcessChannel process_;
};

std::unique_ptr<ConformanceChannel> Direct() {
    return std::make_unique<DirectChannel>();
}
std::unique_ptr<ConformanceChannel> AcrossApartments() {
    return std::make_unique<ApartmentChannel>();
}

INSTANTIATE_TEST_SUITE_P(Direct, ConformanceSuite, ::testing::Values(&Direct));
std::unique_ptr<ConformanceChannel> AcrossProcesses() {
    return std::make_unique<ProcessChannel>();
}

INSTANTIATE_TEST_SUITE_P(AcrossApartments, ConformanceSuite, ::testing::Values(&AcrossApartments));
INSTANTIATE_TEST_SUITE_P(AcrossProcesses, ConformanceSuite, ::testing::Values(&AcrossProcesses));
std::unique_ptr<ConformanceChannel> AcrossProcessesFromAnEndedThread() {
    return std::make_unique<HandedOverProcessChannel>();
}
INSTANTIATE_TEST_SUITE_P(AcrossProcessesFromAnEndedThread, ConformanceSuite,
                         ::testing::Values(&AcrossProcessesFromAnEndedThread));

} // namespace
} // namespace vrtest
