// A test script as the executives run it: the engine's members are global names, and `engine` itself.
// The host sets the specification "Rail5V" and the global CsvPath, a CSV file of readings (a label and a
// value per row). Each reading is checked (which stores a result row and reports the verdict), the count
// of good readings is stored as a result of its own, and a summary line ends the output.
engine.SN = "DUT-0815";
engine.TestID = "PowerRail";
SetNextTestExecSession();
SetOptions("EngineOutput=true");

csv.ReadFile(CsvPath);
var passed = 0;
for (var row = 0; row < csv.rows; row++) {
    if (engine.IsValid(csv.cell(1, row), "Rail5V", csv.cell(0, row))) {
        passed++;
    }
}
var verdict = passed == csv.rows ? 1 : 2;
SaveResult(passed, "PassedCount", "readings within the rail's limits", verdict);
OutputLn("Passed " + passed + " of " + csv.rows, verdict);
