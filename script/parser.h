// The parse state of one script run: a cursor into NUL-terminated narrow script text and the
// registrar that owns the run. Its operations are the tokenizer (tokenizer.cc), the value writer
// (value_writer.cc), the key block walker (key_block.cc), and, one layer up, the replacement pass
// (registrar/expansion.cc) and the script runner (registrar/runner.cc).
#pragma once

#include <cstddef>

#include "platform/text.h"
#include "platform/types.h"
#include "registry/registry.h"

class CScriptRegistrar;
class CKeyHandle;

// A token is read into a caller's buffer of this many bytes: at most 4094 bytes of single-byte
// characters and the NUL.
constexpr size_t TOKEN_BUFFER_SIZE = 4096;

// 1 for TAB, LF, CR and space; 0 for everything else.
BOOL IsBlank(char ch);

class CScriptParser {
 public:
  explicit CScriptParser(CScriptRegistrar* registrar = nullptr) : m_pRegistrar(registrar) {}

  // Moves the cursor past one whole character; stays on the terminating NUL.
  void NextChar() { m_pchCur = CharNextA(m_pchCur); }

  // Tokenizer.
  void SkipBlanks();
  BOOL AtClosingQuote() const;
  // Reads the next token into a buffer of TOKEN_BUFFER_SIZE bytes (or `size` bytes); S_OK, or
  // DISP_E_EXCEPTION after a level-0 message.
  HRESULT NextToken(char* buffer) { return NextToken(buffer, TOKEN_BUFFER_SIZE); }
  HRESULT NextToken(char* buffer, size_t size);

  // Value writer: parses "= T D" (the cursor stands after the "=") and writes one value into
  // `key`; `buffer` receives the token after the assignment. A null name is the default value.
  HRESULT WriteValue(CKeyHandle& key, const char* valueName, char* buffer);
  // Consumes "= T D" when `buffer` holds a token starting with "=", reading the token after it.
  HRESULT SkipValueAssignment(char* buffer);

  // Key block walker: applies the block whose "{" was just read under `parentKey`.
  HRESULT ParseKeyBlock(char* buffer, HKEY parentKey, BOOL registerMode, BOOL recovery);

  // Script runner: runs every root entry of the expanded text.
  HRESULT RunScriptText(char* text, BOOL registerMode);

  // Replacement pass: an expanded copy of `text` in *expanded (task allocator; the caller frees
  // it), or null and a failure.
  HRESULT ExpandReplacements(const char* text, char** expanded);

  char* m_pchCur = nullptr;
  CScriptRegistrar* m_pRegistrar = nullptr;
  // Nesting depth of the key block walk in progress.
  int m_nDepth = 0;

 private:
  // One block of the walk; ParseKeyBlock adds the depth count around it.
  HRESULT WalkKeyBlock(char* buffer, HKEY parentKey, BOOL registerMode, BOOL recovery);
  // Walks a nested block under `key`, refusing to go deeper than the registry's depth limit;
  // `keyName` names the key in the message.
  HRESULT WalkNestedBlock(char* buffer, HKEY key, BOOL registerMode, BOOL recovery,
                          const char* keyName);
  // A `Val` entry; `buffer` holds "Val" on entry and the token after the entry on success.
  HRESULT WalkNamedValue(char* buffer, HKEY parentKey, BOOL registerMode, BOOL recovery);
  // Reads a block that must not touch the registry (after `Delete` in register mode) by the
  // walker's own rules, without any registry call and without progress messages.
  HRESULT ConsumeKeyBlock(char* buffer, const char* keyName);

  // Reads past a block nested deeper than the registry's depth limit, to its closing token.
  HRESULT SkipDeepBlock(char* buffer);

  // Set while ConsumeKeyBlock runs: the walk then reports no level 1 or 2 messages.
  BOOL m_bQuiet = FALSE;
  // A failure found in an unregister walk that went on regardless: the depth limit.
  HRESULT m_hrDeferred = S_OK;
};
