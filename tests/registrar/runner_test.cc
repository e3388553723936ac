// The script runner: root key names, the syntax of root entries, several root entries, and the
// cleanup pass after a failed registration.

#include "registrar/runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/parser.h"
#include "tests/script/script_fixture.h"
#include "tests/support/message_capture.h"
#include "tests/support/recording_registry.h"

namespace {

TEST(HKeyFromStringTest, NamesWithoutRegardToCase) {
  struct Case {
    const char* name;
    HKEY key;
  } cases[] = {
      {"HKCR", HKEY_CLASSES_ROOT},
      {"hkcu", HKEY_CURRENT_USER},
      {"HkLm", HKEY_LOCAL_MACHINE},
      {"HKU", HKEY_USERS},
      {"HKPD", HKEY_PERFORMANCE_DATA},
      {"HKDD", HKEY_DYN_DATA},
      {"HKCC", HKEY_CURRENT_CONFIG},
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"hkey_local_machine", HKEY_LOCAL_MACHINE},
      {"HKEY_USERS", HKEY_USERS},
      {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
      {"HKEY_DYN_DATA", HKEY_DYN_DATA},
      {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
      {"HKEY_CLASSES_ROOTX", nullptr},
      {" HKCR", nullptr},
      {"HKC", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(HKeyFromString(c.name), c.key) << c.name;
}

class RunnerTest : public ::testing::Test {
 protected:
  HRESULT Run(const std::string& script, BOOL registerMode) {
    m_text = script;
    return m_parser.RunScriptText(m_text.data(), registerMode);
  }

  TempStore store;
  CScriptParser m_parser;
  std::string m_text;
};

TEST_F(RunnerTest, RootEntrySyntax) {
  struct Case {
    const char* script;
    HRESULT result;
    const char* messages;
  } cases[] = {
      {"", S_OK, ""},
      {"HKCU { }", S_OK, ""},
      {"HKCU { } ; trailing comment", S_OK, ""},
      {"HKCU { }\r\n\t \n", S_OK, ""},
      {"  ; only a comment\n", DISP_E_EXCEPTION, "NextToken : Unexpected End of File\n"},
      {"HKEY_CLASSES_ROOTX { }", DISP_E_EXCEPTION, "HKeyFromString failed on HKEY_CLASSES_ROOTX\n"},
      {"'Nowhere' { }", DISP_E_EXCEPTION, "HKeyFromString failed on Nowhere\n"},
      {"HKCU", DISP_E_EXCEPTION, "NextToken : Unexpected End of File\n"},
      {"HKCU Software { }", DISP_E_EXCEPTION, "Syntax error, expecting a {, found a Software\n"},
      {"HKCU { } HKCU", DISP_E_EXCEPTION, "NextToken : Unexpected End of File\n"},
  };
  for (const Case& c : cases) {
    MessageCapture capture(0);
    EXPECT_EQ(Run(c.script, TRUE), c.result) << c.script;
    EXPECT_EQ(capture.Joined(), c.messages) << c.script;
  }
}

TEST_F(RunnerTest, RootNamesMayBeQuotedAndInAnyCase) {
  ASSERT_EQ(Run("'hklm' { 'Software' { A } } HKEY_LOCAL_MACHINE { Software { B } }", TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\A"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\B"));
}

TEST_F(RunnerTest, ABraceJoinedToAKeyNameOpensTheBlockAndHidesTheName) {
  ASSERT_EQ(Run("HKCU {Hidden Shown } HKCU '{' Quoted }", TRUE), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Hidden"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Shown"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Quoted"));
}

TEST_F(RunnerTest, SeveralRootEntriesApplyInOrderInBothModes) {
  const char* script = "HKCU { First = s 1 } HKCU { Second = s 2 } HKLM { Software { Third } }";
  ASSERT_EQ(Run(script, TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "First"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Second"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Third"));
  ASSERT_EQ(Run(script, FALSE), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "First"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Second"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Third"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));
}

TEST_F(RunnerTest, AFailedRegistrationIsCleanedUpAndKeepsItsOwnResult) {
  // The second block fails with E_FAIL after adding two keys; its cleanup pass then fails with
  // a syntax error of its own, whose result must not replace the first. The third root entry
  // would be an error of yet another kind if it were read.
  const char* script =
      "HKCU { Kept = s k }\n"
      "HKCU { Added { Inner = s i } Bad = b abc Val v x }\n"
      "Bogus { }";
  MessageCapture capture(5);
  EXPECT_EQ(Run(script, TRUE), E_FAIL);
  EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                               "Num Els = 2\n",
                               "Creating key Kept\n",
                               "Setting Value k at default\n",
                               "Num Els = 2\n",
                               "Creating key Added\n",
                               "Num Els = 2\n",
                               "Creating key Inner\n",
                               "Setting Value i at default\n",
                               "Creating key Bad\n",
                               "Binary Data does not fall on BYTE boundries\n",
                               "Failed to register, cleaning up!\n",
                               "Num Els = 2\n",
                               "Num Els = 2\n",
                               "Deleting Key Inner\n",
                               "Deleting Key Added\n",
                               "Deleting Key Bad\n",
                               "Equal sign expected after v found x\n",
                           }));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Kept"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Added"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Bad"));
}

TEST_F(RunnerTest, AFailedUnregistrationHasNoCleanupPass) {
  SetString(HKEY_CURRENT_USER, "Gone", nullptr, "x");
  MessageCapture capture(0);
  EXPECT_EQ(Run("HKCU { Gone Val v x }", FALSE), DISP_E_EXCEPTION);
  EXPECT_EQ(capture.Joined(), "Equal sign expected after v found x\n");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Gone"));
}

TEST_F(RunnerTest, AnEmptyScriptTouchesNothing) {
  RecordingRegistry recording;
  EXPECT_EQ(Run("", TRUE), S_OK);
  EXPECT_TRUE(recording.calls().empty());
}

}  // namespace
