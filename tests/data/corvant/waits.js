// A script that waits in a loop until the run is stopped: each Delay serves the calls queued for the
// thread, so a Stop from the window ends it at its next engine call.
var rounds = 0;
OutputLn("waiting");
while (true) {
    Delay(20);
    rounds++;
}
