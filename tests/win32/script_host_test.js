// Brawlhue.Tools as a script host sees it: created by its ProgID, called late-bound through
// IDispatch. Needs Brawlhue.dll and the stand-in host (sessions 1 and 7) registered.
var failures = 0;
var checks = 0;

function check(what, actual, expected) {
    checks++;
    if (actual !== expected) {
        failures++;
        WScript.Echo("FAILED: " + what + ": got [" + actual + "], expected [" + expected + "]");
    }
}

var tools = new ActiveXObject("Brawlhue.Tools");

check("a line without prompt", tools.GetNonPrompt("You hit the troll's head"),
      "You hit the troll's head");
check("a bare prompt", tools.GetNonPrompt("> You hit"), "You hit");
check("two prompts", tools.GetNonPrompt("* HP:12 > * HP:12 > The orc flees."), "The orc flees.");
check("the pager", tools.GetNonPrompt("* Press <Return> to continue, q to quit *>The orc"),
      "The orc");
check("a leading zero is no number", tools.GetNonPrompt("I051 > You hit"), "I051 > You hit");
check("prompts alone", tools.GetNonPrompt("> "), "");
check("the empty line", tools.GetNonPrompt(""), "");

var handle = 7;
var session = tools.GetSession(handle);
check("the session found", session.SessionHandle, 7);
check("the handle unchanged", handle, 7);
check("no session for an unknown handle", tools.GetSession(3), null);

var plugin = new ActiveXObject("Brawlhue.BrawlhueClass");
check("the plug-in's class is creatable", typeof plugin, "object");

WScript.Echo(checks - failures + " passed, " + failures + " failed");
WScript.Quit(failures === 0 ? 0 : 1);
