// Scans the meter's four channels into its reading buffer and checks the mean: the scan list goes to the
// meter as a script array, the scan list and the readings come back as arrays.
engine.spec("SCAN_MEAN") = "[5.0..5.5] {mean of the scan}";

function Preset() {
    var channels = [1, 2, 3, 4];
    DMM.ScanList = channels;
    OutputLn("Scanning " + channels.length + " channels: " + channels.join(" "), 5);
}

function Test() {
    var scan = new VBArray(DMM.ScanList).toArray(); // first query
    var readings = new VBArray(DMM.Fetch()).toArray();
    var sum = 0;
    for (var i = 0; i < readings.length; i++) {
        OutputLn("Ch" + scan[i] + " = " + readings[i] + " V");
        sum += readings[i];
    }
    var mean = Math.round(sum / readings.length * 1000) / 1000;
    OutputLn("Mean " + mean + " V");
    return engine.IsValid(mean, "SCAN_MEAN", "scan mean") ? "pass" : "fail";
}

function Reset() {
    OutputLn("Reset");
}
