// The user guide's test: sets the supply's output to 5 V, reads it back and checks it against the limits of
// the 5 V rail. The socket PSU is the hardware store's record of that name.
engine.option("EngineOutput") = true; // IsValid's verdict lines go to the output, not only to the trace
engine.spec("VDC") = "[4.95..5.05] {5 V rail}";

function Preset() {
    OutputLn("Supply: " + PSU.Identity);
    PSU.Volt = 5.0;
    engine.Delay(100); // let the output settle
}

function Test() {
    var volts = PSU.Volt;
    // IsValid stores a result row under "VDC" and writes a Passed or Failed line.
    var good = engine.IsValid(volts, "VDC", "5 V rail");
    return good ? "pass" : "fail";
}

function Reset() {
    PSU.Volt = 0;
    OutputLn("Supply off");
}
