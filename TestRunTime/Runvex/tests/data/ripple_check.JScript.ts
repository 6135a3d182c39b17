// Checks the ripple on the 5 V rail. This unit's filter capacitor is missing, so the ripple is too high and
// the test fails.
engine.spec("Ripple") = "[0..0.05]";

function Preset() {
    OutputLn("Ripple on 5 V rail", 5);
}

function Test() {
    var ripple = 0.12; // volts peak to peak
    var good = engine.IsValid(ripple, "Ripple", "5 V ripple");
    OutputLn("Ripple = " + ripple + " V", good ? 1 : 2);
    return good ? "pass" : "FAIL";
}

function Reset() {
    OutputLn("Ripple done");
}
