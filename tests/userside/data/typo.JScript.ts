// The user guide's rail check with one typing mistake: the supply's voltage is read as PSU.Vlot, a member the
// supply does not have, so the run ends in error on that line instead of checking nothing.
engine.spec("VDC") = "[4.95..5.05] {5 V rail}";

function Preset() {
    PSU.Channel = 1;
    PSU.Volt = 5.0;
    OutputLn("Supply set", 5);
}

function Test() {
    var volts = PSU.Vlot; // misspelled member
    return engine.IsValid(volts, "VDC", "5 V rail") ? "pass" : "fail";
}

function Reset() {
    PSU.Volt = 0;
    OutputLn("Supply off");
}
