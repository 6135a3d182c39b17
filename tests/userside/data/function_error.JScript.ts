// Reads which function the meter's channel 1 measures before it trusts the 5 V reading. The meter answers
// with no function name it knows, so the read fails and the run ends in error; Reset still switches the
// rail off.
function Preset() {
    PSU.Channel = 1;
    PSU.Volt = 5;
    PSU.Output = "ON";
    OutputLn("Rail on", 5);
}

function Test() {
    OutputLn("Ch1: " + DMM.Ch1.Volt + " V"); // first query
    var measured = DMM.Ch1.Function; // answer does not parse
    OutputLn("Ch1 measures " + measured);
    return "pass";
}

function Reset() {
    PSU.Output = "OFF";
    OutputLn("Rail off");
}
