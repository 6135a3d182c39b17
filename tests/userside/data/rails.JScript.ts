// Powers the board's 5 V and 3.3 V rails from outputs 1 and 2 of the supply and checks each with the meter
// on the channel it is wired to.
engine.option("EngineOutput") = "true";
engine.option("SettleMs") = 100;
engine.spec("VDC_CH1") = "[4.95..5.05] {5 V rail}";
engine.spec("VDC_CH2") = "[3.25..3.35] {3.3 V rail}";

function Preset() {
    PSU.Channel = 1;
    PSU.Volt = 5;
    PSU.Curr = 0.5;
    PSU.Output = "ON";
    PSU.Channel = 2;
    PSU.Volt = 3.3;
    PSU.Curr = 0.25;
    PSU.Output = "ON";
    Delay(engine.option("SettleMs"));
    OutputLn("Rails on", 5);
}

function Test() {
    var good = engine.IsValid(DMM.Ch1.Volt, "VDC_CH1", "5 V rail"); // first query
    good = engine.IsValid(DMM.Ch2.Volt, "VDC_CH2", "3.3 V rail") && good;
    PSU.Channel = 2;
    OutputLn("Output 2 is " + PSU.Output + " at " + PSU.Volt + " V, " + PSU.Curr + " A");
    return good ? "true" : "false";
}

function Reset() {
    PSU.Channel = 1;
    PSU.Output = "OFF";
    PSU.Channel = 2;
    PSU.Output = "OFF";
    OutputLn("Rails off");
}
