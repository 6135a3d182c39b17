// A script that asks for a specification nobody set: the engine's failure ends it with an error on the
// line of the call.
var limit = 5;
OutputLn("before");
var spec = engine.spec("NotSet");
OutputLn("never reached");
