// A new test script. The script executive calls Preset, Test and Reset in turn; what Test returns is the
// return value: nothing, true or "pass" passes the test, any other value fails it.

function Preset() {
}

function Test() {
    engine.OutputLn("Hello from a new test script");
    return true;
}

function Reset() {
}
