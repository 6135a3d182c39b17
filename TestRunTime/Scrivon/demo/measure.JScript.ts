// The demo's test script: reads the identity and the voltage of a meter and passes when the voltage lies
// between 4.9 V and 5.1 V. The meter is simulated: its connection replays a session recorded once against
// the project's loopback instrument (@DEMO_DIR@/dmm-traffic.xml), so no hardware is needed.

var METER_SETUP = "Simulation=RandomRead SimulationFile='@DEMO_DIR@/dmm-traffic.xml'";

function Preset() {
    // The demo board's serial number, unless the operator gave one: a run without one stores no result rows.
    if (!engine.SN || engine.SN == "<Undefined>") {
        engine.SN = "DEMO-0001";
    }
    // The connection record of the simulated meter in the hardware manager's configuration store.
    var hardware = new ActiveXObject("Vornic.Rigmont");
    hardware.SaveRecord("connection", "DemoMeter", "Vornic.CnVISA", "TCPIP0::127.0.0.1::5025::SOCKET",
                        METER_SETUP);
}

function Test() {
    var meter = new ActiveXObject("Vornic.Rigmont").CreateConnection("DemoMeter");
    meter.WriteString("VOLT 4.9987\n"); // the reading the loopback instrument was given when recording
    meter.WriteString("*IDN?\n");
    // The answer ends with its terminator; OutputLn ends the line itself.
    OutputLn("Instrument: " + meter.ReadString("\n", 2000, 200).replace(/\s+$/, ""));
    meter.WriteString("VOLT?\n");
    var volts = parseFloat(meter.ReadString("\n", 2000, 200));
    OutputLn("Voltage: " + volts + " V");
    return volts > 4.9 && volts < 5.1 ? "pass" : "fail";
}

function Reset() {
}
