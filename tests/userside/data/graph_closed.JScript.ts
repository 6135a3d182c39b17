// Draws into the station's graph window until the operator closes it: the graph is taken once in Preset
// and held (not under the name "graph", which is the engine's own member), so the next point after the
// window went fails, and the run ends in error instead of waiting.
var held;

function Preset() {
    held = engine.graph;
    held.Init();
    held.SetDataWindow(0, 50, 10, 0, 5, 1);
    OutputLn("Graph open");
}

function Test() {
    var until = new Date().getTime() + 60000;
    for (var step = 0; new Date().getTime() < until; step++) {
        held.PutPoint(step % 50, (step % 50) * 0.1, 1);
    }
    OutputLn("The graph window stayed open");
    return "pass";
}

function Reset() {
    OutputLn("Reset", 0);
}
