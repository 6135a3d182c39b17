// Goes through the meter's four channels and the supply's three outputs: the meter's channel chosen by
// selector (DMM.Ch2, or by name as DMM["Ch" + n]), the supply's output by its Channel attribute.
var levels = [
    { volt: 5, curr: 0.5 },
    { volt: 3.3, curr: 0.25 },
    { volt: 12, curr: 1.5 }
];

function Preset() {
    for (var n = 1; n <= levels.length; n++) {
        PSU.Channel = n;
        PSU.Volt = levels[n - 1].volt;
        PSU.Curr = levels[n - 1].curr;
    }
    DMM.Ch2.Range = 20;
    OutputLn("Outputs set", 5);
}

function Test() {
    OutputLn("Ch1: " + DMM.Ch1.Volt + " V"); // first query
    OutputLn("Ch2: " + DMM.Ch2.Volt + " V, range " + DMM.Ch2.Range + " V");
    OutputLn("Ch3: " + DMM.Ch3.Measure() + " V");
    DMM.Ch = 4;
    OutputLn("Ch" + DMM.Ch + ": " + DMM.Measure() + " V");
    for (var n = 1; n <= levels.length; n++) {
        PSU.Channel = n;
        OutputLn("Output " + PSU.Channel + ": " + PSU.Volt + " V, " + PSU.Curr + " A");
    }
    return "passed";
}

function Reset() {
    OutputLn("Reset");
}
