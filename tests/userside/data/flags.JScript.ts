// Says how the run is set up before it measures: the engine's output option as the script reads it, and a
// reading the meter never gave checked against the 5 V rail's limits. Then it asks which function the
// meter's channel 1 measures, an answer the meter's adapter file cannot parse.
engine.spec("VDC_CH1") = "[4.95..5.05] {5 V rail}";

function Preset() {
    OutputLn("Engine output " + IsOptionEnabled("EngineOutput"));
    engine.option("EngineOutput") = "yes";
    if (IsOptionEnabled("EngineOutput") == true) {
        OutputLn("Engine output " + IsOptionEnabled("EngineOutput"), 6);
    }
}

function Test() {
    var missing = "";
    var valid = engine.IsValid(missing, "VDC_CH1", "no reading");
    OutputLn("Ch1: " + DMM.Ch1.Volt + " V, missing reading valid: " + valid); // first query
    var measured = DMM.Ch1.Function; // answer does not parse
    OutputLn("Ch1 measures " + measured);
    return "pass";
}

function Reset() {
    OutputLn("Reset");
}
