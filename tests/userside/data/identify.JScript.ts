// Asks the meter who it is and checks the answer against the bench's meter model. The settling time is an
// option of the run, so that a slower bench only changes the option.
engine.option("SettleMs") = 100;
engine.spec("IDN") = "pattern:VORNIC,LOOPBACK,[0-9]+,[0-9.]+ {meter model}";

function Preset() {
    OutputLn("Settle time " + engine.option("SettleMs") + " ms", 6);
}

function Test() {
    Delay(engine.option("SettleMs"));
    var identity = DMM.Identify().replace(/\s+$/, ""); // first query
    OutputLn("Meter: " + identity);
    return engine.IsValid(identity, "IDN", "meter model") ? "pass" : "fail";
}

function Reset() {
    OutputLn("Reset", 0);
}
