// The conformance suite run direct (the object in the test thread's apartment) and across apartments.
#include "apartment_thread.h"
#include "conformance_suite.h"

namespace vrtest {
namespace {

class DirectChannel final : public ConformanceChannel {
public:
    vr::ComPtr<IConformance> Far() override { return MakeConformanceObject(); }
    LONGLONG FarThread() override { return ThisThreadId(); }
    bool Crosses() override { return false; }
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
    bool Crosses() override { return true; }

private:
    ApartmentThread thread_;
};

std::unique_ptr<ConformanceChannel> Direct() {
    return std::make_unique<DirectChannel>();
}
std::unique_ptr<ConformanceChannel> AcrossApartments() {
    return std::make_unique<ApartmentChannel>();
}

INSTANTIATE_TEST_SUITE_P(Direct, ConformanceSuite, ::testing::Values(&Direct));
INSTANTIATE_TEST_SUITE_P(AcrossApartments, ConformanceSuite, ::testing::Values(&AcrossApartments));

} // namespace
} // namespace vrtest
