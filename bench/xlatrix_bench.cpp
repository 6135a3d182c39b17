// Compose and parse with the SCPI multimeter adapter against hand-written code that makes and reads the same
// texts, reported as ratios to the hand-written reading of one answer.
#include "bench/ratio_reporter.h"
#include "instruments/Xlatrix/Xlatrix.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kReading = "+1.23456789E+00\n";
constexpr const char* kFetch =
    "+1.0E+00,+2.5E-01,-3.0E+02,+4.5E+00,+5.0E-03,+6.0E+00,+7.5E+01,-8.0E+00,+9.0E+00,+1.0E+01\n";
constexpr const char* kIdentity = "VORNIC,DMM-7,SN012345,1.04\n";
// A long fetch: 62,500 readings, about 1 MB.
constexpr int kLargeCount = 62500;

const std::string& LargeFetch() {
    static const std::string text = [] {
        std::string made;
        for (int i = 0; i < kLargeCount; ++i) {
            made += vr::FormatAString(i == 0 ? "%+.8E" : ",%+.8E", 1.0 + i * 0.25);
        }
        return made + "\n";
    }();
    return text;
}

// Keeps a value alive for the optimiser (read-only form; see dispatch_bench.cpp).
template <class T>
void Keep(const T& value) {
    benchmark::DoNotOptimize(value);
}

CXlatrix& Multimeter() {
    static CXlatrix* xlatrix = [] {
        auto* made = new CXlatrix(false);
        if (!made->SetSchemaXml(XLATRIX_TEST_DATA "/xlatrix_multimeter.daf")) {
            std::abort();
        }
        return made;
    }();
    return *xlatrix;
}

// Parses and takes the values, as the socket does.
std::vector<std::string> ParseAndTake(CXlatrix& xlatrix, const char* type, const char* text) {
    std::vector<std::string> values;
    if (!xlatrix.Parse(type, text)) {
        std::abort();
    }
    std::string name;
    std::string value;
    while (xlatrix.GetNumberOfReturnedParamValues("") > 0) {
        xlatrix.GetReturnedParamValue(name = "", nullptr, nullptr, &value, 0, true);
        values.push_back(value);
    }
    return values;
}

// The hand-written reading of "<number>\n".
bool HandParseReading(const char* text, double& value) {
    const char* end = nullptr;
    value = vr::Strtod(text, &end);
    return end != text && end[0] == '\n' && end[1] == '\0';
}

// The hand-written reading of "<number>{,<number>}\n".
bool HandParseList(const char* text, std::vector<double>& values) {
    values.clear();
    for (const char* at = text;;) {
        const char* end = nullptr;
        double value = vr::Strtod(at, &end);
        if (end == at) {
            return false;
        }
        values.push_back(value);
        if (*end == '\n') {
            return end[1] == '\0';
        }
        if (*end != ',') {
            return false;
        }
        at = end + 1;
    }
}

void BM_HandParseReading(benchmark::State& state) {
    double value = 0;
    for (auto _ : state) {
        bool ok = HandParseReading(kReading, value);
        Keep(ok);
        Keep(value);
    }
}
BENCHMARK(BM_HandParseReading);

void BM_XlatrixParseReading(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    for (auto _ : state) {
        Keep(ParseAndTake(xlatrix, "msg_ReadResponse", kReading));
    }
}
BENCHMARK(BM_XlatrixParseReading);

void BM_XlatrixParseReadingLookAhead(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    xlatrix.bNumericLookAhead = true;
    for (auto _ : state) {
        Keep(ParseAndTake(xlatrix, "msg_ReadResponse", kReading));
    }
    xlatrix.bNumericLookAhead = false;
}
BENCHMARK(BM_XlatrixParseReadingLookAhead);

void BM_HandParseFetch(benchmark::State& state) {
    std::vector<double> values;
    for (auto _ : state) {
        bool ok = HandParseList(kFetch, values);
        Keep(ok);
        Keep(values.data());
    }
}
BENCHMARK(BM_HandParseFetch);

void BM_XlatrixParseFetch(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    for (auto _ : state) {
        Keep(ParseAndTake(xlatrix, "msg_FetchResponse", kFetch));
    }
}
BENCHMARK(BM_XlatrixParseFetch);

void BM_XlatrixParseIdentity(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    for (auto _ : state) {
        Keep(ParseAndTake(xlatrix, "msg_IdnResponse", kIdentity));
    }
}
BENCHMARK(BM_XlatrixParseIdentity);

void BM_HandParseLargeFetch(benchmark::State& state) {
    std::vector<double> values;
    for (auto _ : state) {
        bool ok = HandParseList(LargeFetch().c_str(), values);
        Keep(ok);
        Keep(values.data());
    }
}
BENCHMARK(BM_HandParseLargeFetch)->Unit(benchmark::kMillisecond);

void BM_XlatrixParseLargeFetch(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    for (auto _ : state) {
        std::vector<std::string> values = ParseAndTake(xlatrix, "msg_FetchResponse", LargeFetch().c_str());
        if (values.size() != kLargeCount) {
            std::abort();
        }
        Keep(values);
    }
}
BENCHMARK(BM_XlatrixParseLargeFetch)->Unit(benchmark::kMillisecond);

void BM_HandComposeConfigure(benchmark::State& state) {
    for (auto _ : state) {
        std::string command = vr::FormatAString("CONF:VOLT:DC %.3f,%.6f\n", 10.0, 0.0001);
        Keep(command);
    }
}
BENCHMARK(BM_HandComposeConfigure);

void BM_XlatrixComposeConfigure(benchmark::State& state) {
    CXlatrix& xlatrix = Multimeter();
    for (auto _ : state) {
        xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "range", "10");
        xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "resolution", "0.0001");
        std::string command;
        if (!xlatrix.Compose("msg_ConfVolt", command)) {
            std::abort();
        }
        Keep(command);
    }
}
BENCHMARK(BM_XlatrixComposeConfigure);

} // namespace

int main(int argc, char** argv) {
    return vrbench::RunWithRatios(argc, argv, "BM_HandParseReading");
}
