// Validators on several threads checking at once: every check keeps its own verdict, lastError and error
// information, whatever the other threads do in the same library meanwhile.
#include "ValidatorTestSupport.h"

#include <thread>
#include <vector>

namespace limitortest {
namespace {

std::u16string Number(int number) {
    return vr::FromUtf8(std::to_string(number));
}

// Checks a range of the thread's own (a value inside, one outside) and a range it cannot read, rounds times;
// the count of checks whose outcome was not the thread's own.
int RunChecks(int thread, int rounds) {
    if (FAILED(CoInitialize(nullptr))) {
        return rounds;
    }
    int wrong = 0;
    {
        vr::ComPtr<IVrSpecValidator> validator = NewValidator();
        std::u16string range = u"[" + Number(thread * 100) + u".." + Number(thread * 100 + 10) + u"]";
        std::u16string inside = Number(thread * 100 + 5);
        std::u16string outside = Number(thread * 100 + 50);
        std::u16string unreadable = u"range:x" + Number(thread);
        std::string outsideReason =
            "Value '" + U8(outside) + "' is not valid according to the Spec '" + U8(range) + "'.";
        std::string unreadableReason =
            "Invalid entry Spec 'x" + std::to_string(thread) + "': Ther is no delimiter '..'.";
        for (int round = 0; validator && round < rounds; ++round) {
            Outcome in = Check(validator.Get(), inside.c_str(), range.c_str());
            Outcome out = Check(validator.Get(), outside.c_str(), range.c_str());
            Outcome bad = Check(validator.Get(), u"1", unreadable.c_str());
            bool right = in.valid == true && out.valid == false && out.lastError == outsideReason &&
                         bad.hr == E_INVALIDARG && bad.errorDescription == unreadableReason;
            wrong += right ? 0 : 1;
        }
    }
    CoUninitialize();
    return wrong;
}

TEST_F(ValidatorTest, ChecksOnSeveralThreadsDoNotMix) {
    constexpr int kThreads = 4;
    std::vector<int> wrong(kThreads, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] { wrong[t] = RunChecks(t + 1, 150); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
}

} // namespace
} // namespace limitortest
