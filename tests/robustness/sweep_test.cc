// Out-of-memory and registry-fault sweeps: two realistic scripts are registered and unregistered
// with the 1st, 2nd, ... allocation failing, and then with the 1st, 2nd, ... registry call
// failing with access-denied, until a run gets through untouched. Every run must end with a
// clear result, report a failure where it has one to report, leave no key open, change nothing
// the script does not describe, and leave hive files that pass SQLite's integrity check.
#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/memory.h"
#include "registry/registry_api.h"
#include "tests/robustness/robust_support.h"
#include "tests/support/message_capture.h"
#include "tests/support/recording_registry.h"
#include "tests/support/temp_store.h"

namespace {

// The interpreter's worked example: NoRemove, Val, ForceRemove with a nested block, Delete.
const char kWorkedExample[] = R"(HKCR
{
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

// A shell association in the shape of the one the tool installs, with a binary value and a
// NoRemove parent, referring to "Module" several times and using %% escapes.
const char kAssociation[] = R"(HKLM
{
    NoRemove 'Software'
    {
        NoRemove 'Classes'
        {
            '.rgx' = s 'Sample.RegScript'
            'Sample.RegScript' = s 'Sample script'
            {
                val 'EditFlags' = b '00000100'
                'DefaultIcon' = s '%Module%,0'
                'Shell'
                {
                    'Register' { 'Command' = s '%Module% "%%1"' }
                    'Remove' { 'Command' = s '%Module% /u "%%1"' }
                }
            }
        }
    }
}
)";

// Sits on top of the registry seam and counts the keys opened or created through it that have
// not been closed, so that a run that forgets a key on some failure path shows up.
class OpenKeyCounter : public RegistryApi {
 public:
  OpenKeyCounter()
      : m_previous(SetRegistryApi(this)),
        m_next(*(m_previous ? m_previous : &StoreRegistryApi())) {}
  ~OpenKeyCounter() override { SetRegistryApi(m_previous); }
  long open() const { return m_open; }

  LONG OpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) override {
    LONG error = m_next.OpenKeyEx(key, subKey, options, access, result);
    if (error == 0) ++m_open;
    return error;
  }
  LONG CreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                   REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                   LPDWORD disposition) override {
    LONG error = m_next.CreateKeyEx(key, subKey, reserved, className, options, access, security,
                                    result, disposition);
    if (error == 0) ++m_open;
    return error;
  }
  LONG CloseKey(HKEY key) override {
    --m_open;
    return m_next.CloseKey(key);
  }
  LONG SetValueEx(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD size) override {
    return m_next.SetValueEx(key, valueName, reserved, type, data, size);
  }
  LONG DeleteValue(HKEY key, LPCSTR valueName) override {
    return m_next.DeleteValue(key, valueName);
  }
  LONG DeleteKey(HKEY key, LPCSTR subKey) override { return m_next.DeleteKey(key, subKey); }
  LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                 LPSTR className, LPDWORD classLength, FILETIME* lastWriteTime) override {
    return m_next.EnumKeyEx(key, index, name, nameLength, reserved, className, classLength,
                            lastWriteTime);
  }
  LONG QueryInfoKey(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                    LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                    LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                    LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) override {
    return m_next.QueryInfoKey(key, className, classLength, reserved, subKeys, maxSubKeyLength,
                               maxClassLength, values, maxValueNameLength, maxValueLength,
                               securityDescriptorSize, lastWriteTime);
  }
  LONG EnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength, LPDWORD reserved,
                 LPDWORD type, LPBYTE data, LPDWORD dataSize) override {
    return m_next.EnumValue(key, index, valueName, valueNameLength, reserved, type, data, dataSize);
  }
  LONG QueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                    LPDWORD dataSize) override {
    return m_next.QueryValueEx(key, valueName, reserved, type, data, dataSize);
  }

 private:
  RegistryApi* m_previous;
  RegistryApi& m_next;
  long m_open = 0;
};

// What a clean register run and a clean unregister run leave, from a fresh store.
struct References {
  robust::Snapshot fresh, registered, unregistered;
};

References CleanRuns(const std::string& path) {
  TempStore store;
  References refs;
  MessageCapture quiet;
  refs.fresh = robust::TakeSnapshot();
  EXPECT_EQ(S_OK, robust::RunFile(path, true)) << quiet.Joined();
  refs.registered = robust::TakeSnapshot();
  EXPECT_EQ(S_OK, robust::RunFile(path, false)) << quiet.Joined();
  refs.unregistered = robust::TakeSnapshot();
  EXPECT_NE(refs.fresh, refs.registered);
  return refs;
}

// The outcome of one disturbed run.
struct Outcome {
  HRESULT hr = S_OK;
  std::string messages;
  robust::Snapshot before, after;
  long keysLeftOpen = 0;
  bool reachedFault = false;
  std::string failedCall;  // the registry call made to fail (fault sweep only)
  std::vector<std::string> callsAfterFault;
};

enum class Fault { kAllocation, kRegistryCall };

// Runs the script at `path` in a fresh store (already registered cleanly when unregistering)
// with the n-th allocation, or the n-th registry call, failing.
Outcome DisturbedRun(const std::string& path, bool registerMode, Fault fault, long n) {
  TempStore store;
  Outcome out;
  if (!registerMode) {
    MessageCapture quiet;
    EXPECT_EQ(S_OK, robust::RunFile(path, true)) << quiet.Joined();
  }
  out.before = robust::TakeSnapshot();
  {
    MessageCapture capture;
    if (fault == Fault::kAllocation) {
      OpenKeyCounter counter;
      long start = AllocationCount();
      FailAllocationAt(n);
      out.hr = robust::RunFile(path, registerMode);
      FailAllocationAt(0);
      out.reachedFault = AllocationCount() - start >= n;
      out.keysLeftOpen = counter.open();
    } else {
      RecordingRegistry recorder;
      recorder.FailCall(static_cast<size_t>(n), ERROR_ACCESS_DENIED);
      // Above the recorder, so that a close the recorder refuses still counts as asked for.
      OpenKeyCounter counter;
      out.hr = robust::RunFile(path, registerMode);
      out.reachedFault = recorder.callCount() >= static_cast<size_t>(n);
      if (out.reachedFault) {
        out.failedCall = recorder.calls()[n - 1];
        out.callsAfterFault.assign(recorder.calls().begin() + n, recorder.calls().end());
      }
      out.keysLeftOpen = counter.open();
    }
    out.messages = capture.Joined();
  }
  out.after = robust::TakeSnapshot();
  std::string hives = robust::CheckHives(store.path());
  EXPECT_EQ("", hives);
  return out;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The properties every disturbed run must have, whatever the fault hit.
void CheckOutcome(const char* script, bool registerMode, const References& refs,
                  const Outcome& out) {
  EXPECT_EQ(0, out.keysLeftOpen) << "keys left open";
  if (FAILED(out.hr) && out.hr != E_OUTOFMEMORY) {
    EXPECT_NE("", out.messages) << "a failure without a message";
  }
  if (registerMode) {
    // Nothing beyond what the script describes is ever written.
    EXPECT_TRUE(robust::IsSubset(out.after, refs.registered));
    if (SUCCEEDED(out.hr)) {
      // A refused value write is not examined by the value writer: the run still succeeds, with
      // that one value missing. Any other difference is a fault.
      if (out.after != refs.registered) {
        EXPECT_TRUE(StartsWith(out.failedCall, "SetValueEx")) << out.failedCall;
      }
    } else {
      EXPECT_EQ(std::vector<std::string>(),
                robust::UnexpectedResidue(out.before, out.after, script));
      if (out.after != out.before) {
        EXPECT_NE(std::string::npos, out.messages.find("Failed to register, cleaning up!\n"))
            << out.messages;
      }
    }
    if (out.messages.find("Failed to register, cleaning up!\n") != std::string::npos) {
      // The cleanup pass is an unregister pass: it never creates a key or writes a value.
      for (const std::string& call : out.callsAfterFault) {
        EXPECT_FALSE(StartsWith(call, "CreateKeyEx") || StartsWith(call, "SetValueEx")) << call;
      }
    }
  } else {
    // Unregistering only removes, and never less than a clean unregister run unless it failed.
    EXPECT_TRUE(robust::IsSubset(out.after, out.before));
    EXPECT_TRUE(robust::IsSubset(refs.unregistered, out.after));
    if (SUCCEEDED(out.hr) && out.failedCall.empty()) {
      EXPECT_EQ(refs.unregistered, out.after);
    }
  }
}

struct SweepCase {
  const char* name;
  const char* script;
  bool registerMode;
  Fault fault;
};

class SweepTest : public ::testing::TestWithParam<SweepCase> {};

TEST_P(SweepTest, EveryDisturbedRunEndsCleanly) {
  const SweepCase& c = GetParam();
  std::string dir = MakeTempDir("keyfold-sweep-");
  std::string path = dir + "/script.rgs";
  WriteFileBytes(path, c.script);
  References refs = CleanRuns(path);
  // The scripts are small; a run that needs more than this many steps has gone astray.
  const long kLimit = 400;
  long n = 1;
  int failures = 0;
  for (; n <= kLimit; ++n) {
    Outcome out = DisturbedRun(path, c.registerMode, c.fault, n);
    SCOPED_TRACE("step " + std::to_string(n) + " " + out.failedCall + " hr " +
                 std::to_string(out.hr) + " messages: " + out.messages);
    CheckOutcome(c.script, c.registerMode, refs, out);
    if (FAILED(out.hr)) ++failures;
    if (!out.reachedFault) {
      // Untouched: the run must be the clean one.
      EXPECT_EQ(S_OK, out.hr);
      EXPECT_EQ(c.registerMode ? refs.registered : refs.unregistered, out.after);
      break;
    }
    if (HasFailure()) break;
  }
  EXPECT_LE(n, kLimit) << "the sweep never reached an untouched run";
  RecordProperty("disturbed_runs", static_cast<int>(n - 1));
  RecordProperty("failed_runs", failures);
  EXPECT_GT(failures, 0) << "no disturbed run failed: the fault never took effect";
  RemoveTree(dir);
}

const SweepCase kSweeps[] = {
    {"WorkedExampleRegisterOutOfMemory", kWorkedExample, true, Fault::kAllocation},
    {"WorkedExampleUnregisterOutOfMemory", kWorkedExample, false, Fault::kAllocation},
    {"AssociationRegisterOutOfMemory", kAssociation, true, Fault::kAllocation},
    {"AssociationUnregisterOutOfMemory", kAssociation, false, Fault::kAllocation},
    {"WorkedExampleRegisterRegistryFault", kWorkedExample, true, Fault::kRegistryCall},
    {"WorkedExampleUnregisterRegistryFault", kWorkedExample, false, Fault::kRegistryCall},
    {"AssociationRegisterRegistryFault", kAssociation, true, Fault::kRegistryCall},
    {"AssociationUnregisterRegistryFault", kAssociation, false, Fault::kRegistryCall},
};

INSTANTIATE_TEST_SUITE_P(Sweeps, SweepTest, ::testing::ValuesIn(kSweeps),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           return std::string(info.param.name);
                         });

// In register mode a fault inside a block is followed by the cleanup pass, which takes back
// what the block added: with the creation of the innermost key refused, nothing but the
// NoRemove key stays.
TEST(RegisterFault, CleanupPassTakesBackTheFailedBlock) {
  TempStore store;
  std::string path = store.path() + "/script.rgs";
  WriteFileBytes(path, kWorkedExample);
  robust::Snapshot before = robust::TakeSnapshot();
  HRESULT hr;
  std::string messages;
  {
    MessageCapture capture;
    RecordingRegistry recorder;
    recorder.FailOperation("CreateKeyEx", "command", ERROR_ACCESS_DENIED);
    hr = robust::RunFile(path, true);
    messages = capture.Joined();
  }
  EXPECT_EQ(DISP_E_EXCEPTION, hr);
  EXPECT_EQ("Unable to create key command\nFailed to register, cleaning up!\n", messages);
  robust::Snapshot after = robust::TakeSnapshot();
  std::vector<std::string> added = robust::Added(before, after);
  EXPECT_EQ((std::vector<std::string>{"hklm\\software\\classes\\sample.doc"}), added);
  EXPECT_EQ("", robust::CheckHives(store.path()));
}

}  // namespace
