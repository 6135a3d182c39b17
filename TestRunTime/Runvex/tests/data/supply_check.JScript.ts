// Switches the 5 V rail on and checks its reading against the rail's limits.
engine.spec("Rail5V") = "[4.75..5.25]";
var reading;

function Preset() {
    OutputLn("Rail 5 V on", 5);
    reading = 5.02;
}

function Test() {
    var good = engine.IsValid(reading, "Rail5V", "5 V rail");
    OutputLn("Rail5V = " + reading + " V", good ? 1 : 2);
    return good ? "pass" : "fail";
}

function Reset() {
    OutputLn("Rail 5 V off");
}
