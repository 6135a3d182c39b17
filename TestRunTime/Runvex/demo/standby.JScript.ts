// The demo sequence's third test: checks the board's 5 V standby rail on the meter's channel 4. The rail is
// down, so the test fails.
engine.spec("CH4") = "[4.75..5.25] {5 V standby rail}";

function Preset() {
    // The demo board's serial number, unless the operator gave one: a run without one stores no result rows.
    if (!engine.SN || engine.SN == "<Undefined>") {
        engine.SN = "DEMO-0001";
    }
}

function Test() {
    var meter = new ActiveXObject("Vornic.Rigmont").CreateSocket("DemoMeter");
    meter.Ch = 4;
    return engine.IsValid(meter.Volt, "CH4", "Standby rail") ? "pass" : "fail";
}

function Reset() {
}
