// The demo sequence's second test: reads which function the meter's channel 1 measures before it trusts the
// 5 V reading. The meter answers with no function name its adapter file knows, so the answer does not parse
// and the test ends in error, which ends the sequence's run.
function Preset() {
    // The demo board's serial number, unless the operator gave one: a run without one stores no result rows.
    if (!engine.SN || engine.SN == "<Undefined>") {
        engine.SN = "DEMO-0001";
    }
}

function Test() {
    var meter = new ActiveXObject("Vornic.Rigmont").CreateSocket("DemoMeter");
    meter.Ch = 1;
    OutputLn("Ch1: " + meter.Volt + " V");
    var measured = meter.Function; // the answer does not parse
    OutputLn("Ch1 measures " + measured);
    return "pass";
}

function Reset() {
    OutputLn("Meter released");
}
