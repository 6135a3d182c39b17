// Checks every meter channel against the limits of its rail; the board's standby rail on channel 4 is down,
// so the test fails.
engine.option("EngineOutput") = true;
engine.spec("CH1") = "[4.95..5.05] {5 V rail}";
engine.spec("CH2") = "3.3+-0.05 {3.3 V rail}";
engine.spec("CH3") = "[11.8..12.2] {12 V rail}";
engine.spec("CH4") = "[4.75..5.25] {5 V standby rail}";

function Preset() {
    OutputLn("Standby rail limits " + engine.spec("ch4"), 6);
}

function Test() {
    var failures = 0;
    for (var n = 1; n <= 4; n++) {
        if (!engine.IsValid(DMM["Ch" + n].Volt, "CH" + n, "Channel " + n)) { // first query
            failures++;
        }
    }
    OutputLn(failures + " channel(s) out of limits", failures ? 2 : 1);
    return failures ? "fail" : "pass";
}

function Reset() {
    OutputLn("Reset");
}
