// Draws the supply's ramp into the station's graph window: fifty steps of 0.1 V, each step a point of the
// first curve, between limits of 0 V and 5 V.
function Preset() {
    var graph = engine.graph;
    graph.Init();
    graph.SetCaption("Supply ramp");
    graph.SetDataWindow(0, 50, 10, 0, 5, 1);
    graph.SetYLimits(0, 5);
}

function Test() {
    var graph = engine.graph;
    for (var step = 0; step < 50; step++) {
        graph.PutPoint(step, step * 0.1, 1);
    }
    OutputLn("Ramp drawn: 50 points");
    return "pass";
}

function Reset() {
    OutputLn("Reset", 0);
}
