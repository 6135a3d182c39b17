// A JScript engine for the benchmarks that time script loops: started with the objects its named items
// stand for, and the benchmark body that calls one of its functions with a loop count.
// Threads: the main thread of a benchmark program, inside CoInitialize.
// Failures: Start says on stderr why the engine or its script did not start.
#pragma once

#include "platform/com/comptr.h"
#include "platform/scripting/activscp.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace vrbench {

// One object the script reaches by name, with the AddNamedItem flags it is added with.
struct ScriptItem {
    std::u16string name;
    vr::ComPtr<IUnknown> object;
    DWORD flags = SCRIPTITEM_ISVISIBLE;
};

class ScriptBench {
public:
    ~ScriptBench();

    // Starts JScript with these named items and parses text; false (with a line on stderr) when it cannot.
    bool Start(std::vector<ScriptItem> items, const char16_t* text);
    // The script's global functions; null before a successful Start.
    IDispatch* Globals() const { return globals_.Get(); }

private:
    vr::ComPtr<IActiveScript> script_; // main thread only
    vr::ComPtr<IDispatch> globals_;    // main thread only
};

// The benchmark body: calls the script's function with count for each iteration and counts count items per
// iteration; a function that is missing or fails skips the benchmark with failure as its reason.
void RunScriptFunction(benchmark::State& state, IDispatch* script, const char16_t* function, LONG count,
                       const char* failure);

} // namespace vrbench
