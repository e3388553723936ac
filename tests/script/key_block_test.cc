// The key block walker against a real store: the worked example in both modes, each keyword in
// both modes, recovery mode, the flags of one entry, the never-delete names, compound keys,
// blocks that must not touch the registry, and the nesting limit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/script/script_fixture.h"
#include "tests/support/message_capture.h"
#include "tests/support/recording_registry.h"

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;

class KeyBlockTest : public ::testing::Test {
 protected:
  TempStore store;
  BlockRun run;
};

const char kWorkedExample[] = R"(
    NoRemove 'Sample.Doc' = s 'Sample Document'
    {
        Val 'EditFlags' = d '0'
        'DefaultIcon' = s 'sample.ico'
        ForceRemove 'Shell'
        {
            'Open' { 'command' = s 'sample.exe' }
        }
        Delete 'OldKey'
    }
}
)";

TEST_F(KeyBlockTest, WorkedExampleRegistersAndUnregisters) {
  {
    MessageCapture capture(5);
    ASSERT_EQ(run.Walk(kWorkedExample, TRUE, HKEY_CLASSES_ROOT), S_OK);
    EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                                 "Num Els = 2\n",
                                 "Creating key Sample.Doc\n",
                                 "Setting Value Sample Document at default\n",
                                 "Num Els = 2\n",
                                 "Setting Value 0 at EditFlags\n",
                                 "Creating key DefaultIcon\n",
                                 "Setting Value sample.ico at default\n",
                                 "Creating key Shell\n",
                                 "Num Els = 2\n",
                                 "Creating key Open\n",
                                 "Num Els = 2\n",
                                 "Creating key command\n",
                                 "Setting Value sample.exe at default\n",
                             }));
    EXPECT_STREQ(run.buffer, "}");
  }
  const HKEY HKCR = HKEY_CLASSES_ROOT;
  EXPECT_EQ(ReadValue(HKCR, "Sample.Doc", nullptr).bytes, std::string("Sample Document\0", 16));
  StoredValue flags = ReadValue(HKCR, "Sample.Doc", "EditFlags");
  EXPECT_EQ(flags.type, REG_DWORD);
  EXPECT_EQ(flags.bytes, std::string(4, '\0'));
  EXPECT_EQ(ReadValue(HKCR, "Sample.Doc\\DefaultIcon", nullptr).bytes,
            std::string("sample.ico\0", 11));
  EXPECT_EQ(ReadValue(HKCR, "Sample.Doc\\Shell\\Open\\command", nullptr).bytes,
            std::string("sample.exe\0", 11));
  EXPECT_FALSE(KeyExists(HKCR, "Sample.Doc\\OldKey"));

  {
    MessageCapture capture(5);
    ASSERT_EQ(run.Walk(kWorkedExample, FALSE, HKCR), S_OK);
    EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                                 "Num Els = 2\n",
                                 "Num Els = 2\n",
                                 "Deleting EditFlags\n",
                                 "Deleting Key DefaultIcon\n",
                                 "Num Els = 2\n",
                                 "Num Els = 2\n",
                                 "Deleting Key command\n",
                                 "Deleting Key Open\n",
                                 "Deleting Key Shell\n",
                                 "Ending Recovery Mode\n",
                             }));
  }
  EXPECT_TRUE(KeyExists(HKCR, "Sample.Doc"));
  EXPECT_EQ(ReadValue(HKCR, "Sample.Doc", nullptr).bytes, std::string("Sample Document\0", 16));
  EXPECT_FALSE(ReadValue(HKCR, "Sample.Doc", "EditFlags").found);
  EXPECT_FALSE(KeyExists(HKCR, "Sample.Doc\\DefaultIcon"));
  EXPECT_FALSE(KeyExists(HKCR, "Sample.Doc\\Shell"));
}

TEST_F(KeyBlockTest, RegisterModeKeywords) {
  MakeKey(HKCU, "Old\\Deep\\Deeper");
  MakeKey(HKCU, "Forced\\Stale");
  ASSERT_EQ(run.Walk(R"(
      Delete Old = s 'not written'
      Delete Missing
      ForceRemove Forced { Fresh }
      NoRemove Kept = s kept
      Val Named = s here
      'delete' = s 'a key named delete'
  })",
                     TRUE),
            S_OK);
  EXPECT_FALSE(KeyExists(HKCU, "Old"));
  EXPECT_FALSE(KeyExists(HKCU, "Missing"));
  EXPECT_FALSE(KeyExists(HKCU, "Forced\\Stale"));
  EXPECT_TRUE(KeyExists(HKCU, "Forced\\Fresh"));
  EXPECT_TRUE(KeyExists(HKCU, "Kept"));
  // A Val entry in a root block writes into the root key itself.
  EXPECT_EQ(ReadValue(HKCU, "", "Named").bytes, std::string("here\0", 5));
  EXPECT_FALSE(KeyExists(HKCU, "Val"));
}

TEST_F(KeyBlockTest, AKeywordAfterForceRemoveIsAKeyName) {
  ASSERT_EQ(run.Walk("ForceRemove Delete ForceRemove '}x' NoRemove Val v = s x }", TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "Delete"));
  EXPECT_TRUE(KeyExists(HKCU, "}x"));
  EXPECT_EQ(ReadValue(HKCU, "", "v").bytes, std::string("x\0", 2));
}

TEST_F(KeyBlockTest, AnEntryStartingWithAClosingBraceEndsTheBlock) {
  ASSERT_EQ(run.Walk("A '}x' B }", TRUE), S_OK);
  EXPECT_STREQ(run.buffer, "}x");
  EXPECT_EQ(run.Rest(), " B }");
  EXPECT_TRUE(KeyExists(HKCU, "A"));
  EXPECT_FALSE(KeyExists(HKCU, "B"));
  // Two braces without a blank end only the innermost block.
  ASSERT_EQ(run.Walk("P { Q }} R }", TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "P\\Q"));
  EXPECT_TRUE(KeyExists(HKCU, "R"));
}

TEST_F(KeyBlockTest, NeverDeleteNamesSurviveForcedRemoval) {
  MakeKey(HKCU, "CLSID\\{1}");
  MakeKey(HKCU, "TypeLib\\{2}");
  MakeKey(HKCU, "CLSIDX\\{3}");
  ASSERT_EQ(run.Walk("ForceRemove CLSID { } Delete typelib Delete CLSIDX }", TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "CLSID\\{1}"));
  EXPECT_TRUE(KeyExists(HKCU, "TypeLib\\{2}"));
  EXPECT_FALSE(KeyExists(HKCU, "CLSIDX"));

  // Unregister: with a subkey CLSID stays even by force; with only named values it goes.
  SetString(HKCU, "Other\\CLSID", "named", "x");
  ASSERT_EQ(run.Walk("ForceRemove CLSID ForceRemove Other { ForceRemove CLSID } }", FALSE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "CLSID\\{1}"));
  EXPECT_FALSE(KeyExists(HKCU, "Other"));
}

TEST_F(KeyBlockTest, UnregisterRemovesOnlyWhatTheScriptDescribes) {
  SetString(HKCU, "OnlyDefault", nullptr, "d");
  SetString(HKCU, "ForeignValue", "foreign", "f");
  MakeKey(HKCU, "ForeignKey\\Child");
  SetString(HKCU, "ForcedValue", "foreign", "f");
  MakeKey(HKCU, "ForcedKey\\Child\\Grandchild");
  MakeKey(HKCU, "NoRemoveKey\\Inner");
  MessageCapture capture(1);
  ASSERT_EQ(run.Walk(R"(
      OnlyDefault = s d
      ForeignValue
      ForeignKey
      ForceRemove ForcedValue
      Delete ForcedKey
      NoRemove NoRemoveKey { Inner }
  })",
                     FALSE),
            S_OK);
  EXPECT_FALSE(KeyExists(HKCU, "OnlyDefault"));
  EXPECT_TRUE(KeyExists(HKCU, "ForeignValue"));
  EXPECT_TRUE(KeyExists(HKCU, "ForeignKey\\Child"));
  EXPECT_FALSE(KeyExists(HKCU, "ForcedValue"));
  EXPECT_FALSE(KeyExists(HKCU, "ForcedKey"));
  EXPECT_TRUE(KeyExists(HKCU, "NoRemoveKey"));
  EXPECT_FALSE(KeyExists(HKCU, "NoRemoveKey\\Inner"));
  // A forced removal names the key itself, and no plain deletion follows for it.
  EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                               "Deleting Key OnlyDefault\n",
                               "Deleting Key ForcedValue\n",
                               "Deleting non-empty subkey ForcedKey by force\n",
                               "Deleting Key Inner\n",
                           }));
}

TEST_F(KeyBlockTest, FlagsBelongToOneEntry) {
  MakeKey(HKCU, "A");
  MakeKey(HKCU, "B");
  SetString(HKCU, "C", "foreign", "f");
  SetString(HKCU, "D", "foreign", "f");
  ASSERT_EQ(run.Walk("NoRemove A B ForceRemove C D }", FALSE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "A"));
  EXPECT_FALSE(KeyExists(HKCU, "B"));
  EXPECT_FALSE(KeyExists(HKCU, "C"));
  EXPECT_TRUE(KeyExists(HKCU, "D"));
}

TEST_F(KeyBlockTest, AMissingKeysBlockMakesNoRegistryCall) {
  MakeKey(HKCU, "Sibling");
  RecordingRegistry recording;
  MessageCapture capture(5);
  ASSERT_EQ(run.Walk(R"(
      Missing = s x { Inner = s y { Deepest } Val v = s z Delete Gone }
      Sibling
  })",
                     FALSE),
            S_OK);
  EXPECT_EQ(recording.calls(), (std::vector<std::string>{
                                   "OpenKeyEx(Missing, 0x20019)",
                                   "OpenKeyEx(Sibling, 0x20019)",
                                   "QueryInfoKey()",
                                   "QueryInfoKey()",
                                   "CloseKey()",
                                   "DeleteKey(Sibling)",
                               }));
  // Inside a block walked in recovery mode every key entry ends with the message, and so does
  // the entry that started it.
  EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                               "Num Els = 2\n",
                               "Num Els = 2\n",
                               "Num Els = 2\n",
                               "Ending Recovery Mode\n",
                               "Ending Recovery Mode\n",
                               "Ending Recovery Mode\n",
                               "Ending Recovery Mode\n",
                               "Deleting Key Sibling\n",
                           }));
  EXPECT_FALSE(KeyExists(HKCU, "Sibling"));
}

TEST_F(KeyBlockTest, AnEmptyKeyWithABlockIsDeletedAndItsBlockReadInRecovery) {
  MakeKey(HKCU, "Empty");
  SetString(HKCU, "Next", nullptr, "d");
  MessageCapture capture(5);
  ASSERT_EQ(run.Walk("Empty { A { B } C } Next }", FALSE), S_OK);
  EXPECT_EQ(capture.boxes, (std::vector<std::string>{
                               "Num Els = 2\n",
                               "Deleting Key Empty\n",
                               "Num Els = 2\n",
                               "Num Els = 2\n",
                               "Ending Recovery Mode\n",
                               "Ending Recovery Mode\n",
                               "Ending Recovery Mode\n",
                               "Deleting Key Next\n",
                           }));
  EXPECT_FALSE(KeyExists(HKCU, "Empty"));
  EXPECT_FALSE(KeyExists(HKCU, "Next"));
}

TEST_F(KeyBlockTest, ABraceNamedSiblingAfterAnAssignmentIsTheNextKey) {
  const char* text = "Server = s x\n{00000000-0000} = s y\n}";
  ASSERT_EQ(run.Walk(text, TRUE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "Server"));
  EXPECT_TRUE(KeyExists(HKCU, "{00000000-0000}"));
  SetString(HKCU, "Server", "named", "keeps the key from plain deletion");
  ASSERT_EQ(run.Walk(text, FALSE), S_OK);
  EXPECT_TRUE(KeyExists(HKCU, "Server"));
  EXPECT_FALSE(KeyExists(HKCU, "{00000000-0000}"));
}

TEST_F(KeyBlockTest, SyntaxErrors) {
  struct Case {
    const char* text;
    BOOL registerMode;
    const char* messages;
  } cases[] = {
      {"A\\B }", TRUE, "Compound keys not supported A\\B\n"},
      {"A\\B }", FALSE, "Compound keys not supported A\\B\n"},
      {"Delete A\\B }", TRUE, "Compound keys not supported A\\B"},
      {"ForceRemove A\\B }", TRUE, "Compound keys not supported A\\B"},
      {"Delete A\\B }", FALSE, "Compound keys not supported A\\B\n"},
      {"Val v x }", TRUE, "Equal sign expected after v found x\n"},
      {"Val v x }", FALSE, "Equal sign expected after v found x\n"},
      {"Val v = s x { A } }", TRUE, "Syntax error, unexpected { after value v\n"},
      {"Val v = s x { A } }", FALSE, "Syntax error, unexpected { after value v\n"},
      {"B = s", TRUE, "NextToken : Unexpected End of File\n"},
      {"A {", FALSE, "NextToken : Unexpected End of File\n"},
  };
  for (const Case& c : cases) {
    MessageCapture capture(0);
    EXPECT_EQ(run.Walk(c.text, c.registerMode), DISP_E_EXCEPTION) << c.text;
    EXPECT_EQ(capture.Joined(), c.messages) << c.text;
    EXPECT_FALSE(KeyExists(HKCU, "A")) << c.text;
  }
}

TEST_F(KeyBlockTest, ValueNameLimit) {
  std::string fits(258, 'v'), tooLong(259, 'v');
  ASSERT_EQ(run.Walk("Val " + fits + " = s x }", TRUE), S_OK);
  EXPECT_TRUE(ReadValue(HKCU, "", fits.c_str()).found);
  MessageCapture capture(0);
  EXPECT_EQ(run.Walk("Val " + tooLong + " = s x }", TRUE), DISP_E_EXCEPTION);
  EXPECT_EQ(capture.Joined(), "NextToken : Token too long " + fits + "\n");
}

TEST_F(KeyBlockTest, ATrailByteBackslashIsNoCompoundKey) {
  UINT saved = GetACP();
  ASSERT_TRUE(SetSystemCodePage(932));
  MessageCapture capture(0);
  EXPECT_EQ(run.Walk("'\x83\x5c' }", TRUE), S_OK);
  EXPECT_TRUE(capture.boxes.empty());
  EXPECT_TRUE(KeyExists(HKCU, "\x83\x5c"));
  SetSystemCodePage(saved);
}

TEST_F(KeyBlockTest, ABlockAfterDeleteIsReadWithoutTouchingTheRegistry) {
  MakeKey(HKCU, "Doomed\\Child");
  RecordingRegistry recording;
  MessageCapture capture(5);
  ASSERT_EQ(run.Walk("Delete Doomed = s x { Child = s '}' { Grand } Val v = s y } After }", TRUE),
            S_OK);
  std::vector<std::string> calls = recording.calls();
  // Everything up to the first call on After belongs to deleting Doomed's tree.
  size_t after = 0;
  while (after < calls.size() && calls[after].find("After") == std::string::npos) ++after;
  ASSERT_LT(after, calls.size());
  for (size_t i = 0; i < after; ++i) {
    EXPECT_EQ(calls[i].find("CreateKeyEx"), std::string::npos) << calls[i];
    EXPECT_EQ(calls[i].find("SetValueEx"), std::string::npos) << calls[i];
    EXPECT_EQ(calls[i].find("Child, 0xf003f"), std::string::npos) << calls[i];
  }
  EXPECT_EQ(capture.boxes, (std::vector<std::string>{"Num Els = 2\n", "Creating key After\n"}));
  EXPECT_FALSE(KeyExists(HKCU, "Doomed"));
  EXPECT_TRUE(KeyExists(HKCU, "After"));
  EXPECT_FALSE(KeyExists(HKCU, "Child"));
}

TEST_F(KeyBlockTest, RegistryFailures) {
  {
    RecordingRegistry recording;
    recording.FailOperation("CreateKeyEx", "A", ERROR_ACCESS_DENIED);
    MessageCapture capture(0);
    EXPECT_EQ(run.Walk("A = s x }", TRUE), DISP_E_EXCEPTION);
    EXPECT_EQ(capture.Joined(), "Unable to create key A\n");
  }
  MakeKey(HKCU, "B");
  {
    RecordingRegistry recording;
    recording.FailOperation("CloseKey", nullptr, ERROR_INVALID_HANDLE);
    MessageCapture capture(0);
    EXPECT_EQ(run.Walk("B }", FALSE), DISP_E_EXCEPTION);
    EXPECT_EQ(capture.Joined(), "Key Close Failed\n");
  }
  {
    // A refused deletion is no error: the walk goes on.
    RecordingRegistry recording;
    recording.FailOperation("DeleteKey", "B", ERROR_ACCESS_DENIED);
    EXPECT_EQ(run.Walk("B }", FALSE), S_OK);
  }
  EXPECT_TRUE(KeyExists(HKCU, "B"));
}

TEST_F(KeyBlockTest, LongMultiByteNamesAreDeletedWholeAndNeverMistaken) {
  UINT saved = GetACP();
  ASSERT_TRUE(SetSystemCodePage(CP_UTF8));
  std::string a3;  // three bytes a character
  for (int i = 0; i < 86; ++i) a3 += "\xe3\x81\x82";
  // `shorter` is exactly the first 259 bytes of `longer`: a name cut there would be that key.
  std::string shorter = a3 + "b";
  std::string longer = shorter + "\xe3\x81\x82\xe3\x81\x82";
  std::string longest;  // the longest legal name: 255 characters, 765 bytes
  for (int i = 0; i < 255; ++i) longest += "\xe3\x81\x82";
  SetString(HKCU, shorter.c_str(), nullptr, "s");
  ASSERT_EQ(run.Walk("'" + longer + "' = s l '" + longest + "' = s m }", TRUE), S_OK);
  ASSERT_TRUE(KeyExists(HKCU, longest.c_str()));

  MessageCapture capture(1);
  ASSERT_EQ(run.Walk("'" + longer + "' '" + longest + "' }", FALSE), S_OK);
  EXPECT_FALSE(KeyExists(HKCU, longer.c_str()));
  EXPECT_FALSE(KeyExists(HKCU, longest.c_str()));
  EXPECT_TRUE(KeyExists(HKCU, shorter.c_str()));
  ASSERT_EQ(capture.boxes.size(), 2u);
  EXPECT_EQ(capture.boxes[0], "Deleting Key " + longer + "\n");

  // A name longer than any key can have is a key that cannot be opened.
  SetSystemCodePage(saved);
  capture.boxes.clear();
  ASSERT_EQ(run.Walk(std::string(800, 'n') + " = s x }", FALSE), S_OK);
  EXPECT_EQ(capture.boxes, std::vector<std::string>{"Ending Recovery Mode\n"});
}

// "{ K1 { K2 { ... Kn } } }" as the text after the root block's opening brace.
std::string Nested(int levels) {
  std::string text;
  for (int i = 1; i <= levels; ++i) text += "K" + std::to_string(i) + " { ";
  for (int i = 1; i <= levels; ++i) text += "} ";
  return text + "}";
}

TEST_F(KeyBlockTest, NestingStopsAtTheRegistrysDepthLimit) {
  // The root block is level 1: 511 nested blocks are allowed, the 512th nested one is not.
  for (BOOL registerMode : {FALSE, TRUE}) {
    MessageCapture capture(0);
    EXPECT_EQ(run.Walk(Nested(511), registerMode), S_OK) << registerMode;
    EXPECT_TRUE(capture.boxes.empty());
    EXPECT_EQ(run.parser.m_nDepth, 0);
  }
  EXPECT_TRUE(KeyExists(HKCU, "K1\\K2\\K3"));
  for (BOOL registerMode : {FALSE, TRUE}) {
    MessageCapture capture(0);
    EXPECT_EQ(run.Walk(Nested(512), registerMode), DISP_E_EXCEPTION) << registerMode;
    EXPECT_EQ(capture.Joined(), "Key nesting too deep at K512\n");
    EXPECT_EQ(run.parser.m_nDepth, 0);
  }
  // A hostile depth fails the same way instead of exhausting the stack.
  MessageCapture capture(0);
  EXPECT_EQ(run.Walk(Nested(100000), FALSE), DISP_E_EXCEPTION);
}

TEST_F(KeyBlockTest, UnregisterBeyondTheDepthLimitStillRemovesTheLevelsAbove) {
  ASSERT_EQ(run.Walk(Nested(511), TRUE), S_OK);
  ASSERT_TRUE(KeyExists(HKCU, "K1\\K2\\K3"));
  MessageCapture capture(0);
  // The part below the limit holds a data token '}' that must not end a block early.
  std::string text = Nested(511);
  text.insert(text.find("K511 { ") + 7, "Deeper { Deepest = s '}' { A { B } } } ");
  EXPECT_EQ(run.Walk(text, FALSE), DISP_E_EXCEPTION);
  EXPECT_EQ(capture.Joined(), "Key nesting too deep at Deeper\n");
  EXPECT_FALSE(KeyExists(HKCU, "K1"));
  EXPECT_EQ(run.parser.m_nDepth, 0);
  // The put-off failure belongs to that walk only: the next one succeeds.
  EXPECT_EQ(run.Walk("}", FALSE), S_OK);
}

}  // namespace
