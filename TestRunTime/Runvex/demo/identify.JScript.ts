// The demo sequence's first test: records the bench meter in the hardware manager's store, then asks it who it
// is and checks the answer against the meter model. The meter's connection replays a session recorded once
// against the project's loopback instrument (@DEMO_DIR@/meter-traffic.xml), so no hardware is needed.
engine.spec("IDN") = "pattern:VORNIC,LOOPBACK,[0-9]+,[0-9.]+ {meter model}";

function Preset() {
    // The demo board's serial number, unless the operator gave one: a run without one stores no result rows.
    if (!engine.SN || engine.SN == "<Undefined>") {
        engine.SN = "DEMO-0001";
    }
    var hardware = new ActiveXObject("Vornic.Rigmont");
    hardware.SaveRecord("connection", "DemoMeterLink", "Vornic.CnVISA", "@METER_RESOURCE@",
                        "@METER_SETUP@ SimulationFile='@DEMO_DIR@/meter-traffic.xml'");
    hardware.SaveRecord("socket", "DemoMeter", "Vornic.Socket", "DemoMeterLink",
                        "AdapterFile='@DEMO_DIR@/meter.daf'");
}

function Test() {
    var meter = new ActiveXObject("Vornic.Rigmont").CreateSocket("DemoMeter");
    var identity = meter.Identify().replace(/\s+$/, "");
    OutputLn("Meter: " + identity);
    return engine.IsValid(identity, "IDN", "meter model") ? "pass" : "fail";
}

function Reset() {
}
