// Reads the meter's calibration date from the bench notes before it trusts the meter. The notes carry no
// calibration record, so the script stops with an error; Reset still runs.
var bench = { meter: { model: "34401A" } };

function Preset() {
    OutputLn("Meter " + bench.meter.model, 5);
}

function Test() {
    var due = bench.meter.calibration.due;
    OutputLn("Calibration due " + due);
    return "pass";
}

function Reset() {
    OutputLn("Meter released");
}
