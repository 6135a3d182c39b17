// A test that measures through the power supply's socket `Supply`: Preset sets the rail, Test reads it back,
// checks it (a result row) and answers the verdict, Reset switches the rail off.
var reading;

function Preset() {
    Supply.Volt = 4.98;
    OutputLn("Preset " + TestID, 5);
}

function Test() {
    reading = Supply.Volt;
    var good = reading > 4.75 && reading < 5.25;
    SaveResult(reading, "Rail5V", "rail voltage", good ? 1 : 2);
    OutputLn("Rail5V = " + reading, good ? 1 : 2);
    return good ? "true" : "false";
}

function Reset() {
    Supply.Volt = 0;
    OutputLn("Reset");
}
