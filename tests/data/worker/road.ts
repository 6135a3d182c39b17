// A test as the test executive runs it through the worker: Preset, Test and Reset with output lines and
// their statuses, a result row, and the verdict as the result of Test. WaitForStop runs until it is stopped.
var reading;

function Preset() {
    OutputLn("Preset " + TestID, 5);
    reading = 4.98;
}

function Test() {
    var good = reading > 4.75 && reading < 5.25;
    SaveResult(reading, "Rail5V", "rail voltage", good ? 1 : 2);
    OutputLn("Rail5V = " + reading, good ? 1 : 2);
    return good ? "true" : "false";
}

function Reset() {
    OutputLn("Reset");
}

function WaitForStop() {
    while (true) {
        Delay(20);
    }
}
