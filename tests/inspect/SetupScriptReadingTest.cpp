// Reading a client script back: the commands it runs and how it can end, and a clear
// refusal for text this program never writes.
#include <gtest/gtest.h>

#include "inspect/SetupScriptReading.h"

namespace {

// The lines around the setup run that every script of ours has.
std::string Script(const std::string& body)
{
    return "Set wshShell = WScript.CreateObject (\"WSCript.shell\")\r\n" + body +
           "\r\nsDstFolder = oFSO.GetSpecialFolder(2) + \"\\halvex_temp\"\r\n"
           "oFSO.DeleteFile sDstFolder + \"\\halvex.tmp\"\r\n\r\n";
}

TEST(SetupScriptReading, RunsQuotedValuesAndExitCodes)
{
    const auto reading = ReadSetupScript(Script(
        "If oFSO.FileExists (sDstFolder + \"\\halvex.tmp\") Then\r\n  WSCript.Quit(1618)\r\nEnd If\r\n"
        "rc = wshShell.run(Chr(34) + sDstFolder + \"\\NORDAVIN\\setup.exe\" + Chr(34) + \" -bexu R -mng no -user "
        "\"\"a\"\" -g \" + Chr(34) + \"Group \x80\" + Chr(34) + \" -x \" + Chr(9) + \"\" + Chr(32) + scriptArgs, 1, "
        "true)\r\n"
        "wshShell.run sDstFolder + \"\\ConfigUpdate.exe \" + Chr(34) + \"\\\\srv\\share\" + Chr(34) + \" \" + Chr(34) "
        "+ "
        "\"\" + Chr(34) + \" \" + Chr(34) + \"\" + Chr(34) + \" \" + Chr(34) + \"0\" + Chr(34),, true\r\n"
        "oFSO.DeleteFile sDstFolder + \"\\ConfigUpdate.exe\"\r\n"
        "WScript.Quit rc"));
    ASSERT_TRUE(reading.facts) << reading.problem;
    const auto& facts = *reading.facts;
    ASSERT_EQ(facts.runs.size(), 2u);
    EXPECT_EQ(facts.runs[0].program, "%TEMP%\\halvex_temp\\NORDAVIN\\setup.exe");
    EXPECT_EQ(facts.runs[0].arguments,
              (std::vector<std::string>{"-bexu", "R", "-mng", "no", "-user", "a", "-g", "Group \u20AC", "-x"}));
    EXPECT_TRUE(facts.runs[0].passesPackageArguments);
    EXPECT_EQ(facts.runs[0].resultVariable, "rc");
    EXPECT_EQ(facts.runs[1].arguments, (std::vector<std::string>{"\\\\srv\\share", "", "", "0"}));
    EXPECT_FALSE(facts.runs[1].passesPackageArguments);
    ASSERT_EQ(facts.quits.size(), 2u);
    EXPECT_EQ(facts.quits[0].code, 1618);
    EXPECT_EQ(facts.quits[1].variable, "rc");
    EXPECT_EQ(facts.deletedFiles, (std::vector<std::string>{"ConfigUpdate.exe", "halvex.tmp"}));
}

TEST(SetupScriptReading, RefusesWhatThisProgramNeverWrites)
{
    const std::string setup =
        "wshShell.run sDstFolder + \"\\NORDAVIN\\setup.exe -bexu R\" + Chr(32) + scriptArgs,, true";
    const struct {
        const char* name;
        std::string text;
        const char* problem;
    } cases[] = {
        {"no run of setup", Script("wshShell.run sDstFolder + \"\\ConfigUpdate.exe\",, true"),
         "never runs the suite's setup"},
        {"an unterminated literal", Script("wshShell.run sDstFolder + \"\\NORDAVIN\\setup.exe,, true"),
         "cannot be read"},
        {"a character code past a byte", Script("wshShell.run sDstFolder + Chr(300),, true"), "cannot be read"},
        {"a variable the script never fills", Script("wshShell.run sPayload,, true"), "cannot be read"},
        {"a run in another form",
         Script("CreateObject(\"x\").wshShell.run \"calc\""
                "\r\n" +
                setup),
         "never writes"},
        {"the package's arguments inside the line",
         Script("wshShell.run sDstFolder + \"\\NORDAVIN\\setup.exe \" + scriptArgs + \" -s\",, true"),
         "inside a command line"},
        {"a quit with an expression", Script(setup + "\r\nWScript.Quit(rc + 1)"), "cannot be read"},
        {"binary bytes", Script(setup + std::string("\r\n\0\0", 4)), "not text"},
        {"a script far too large", Script(setup + std::string(kMaxScriptSize, ' ')), "larger than any"},
        {"nothing at all", "", "never runs the suite's setup"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reading = ReadSetupScript(c.text);
        EXPECT_FALSE(reading.facts);
        EXPECT_NE(reading.problem.find(c.problem), std::string::npos) << reading.problem;
    }
}

TEST(SetupScriptReading, CommandLineWords)
{
    EXPECT_EQ(SplitCommandLine("  a \"b c\"d  \"\" e\t"), (std::vector<std::string>{"a", "b cd", "", "e"}));
    EXPECT_EQ(SplitCommandLine("\"open"), (std::vector<std::string>{"open"}));
    EXPECT_TRUE(SplitCommandLine(" \t ").empty());
}

}  // namespace
