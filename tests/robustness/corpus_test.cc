// Real-world scripts from public projects, run as the file branch runs them: each is copied
// into a fresh store's directory (a directory whose name holds a single quote, so that the
// doubling of quotes in "Module" is exercised), registered, checked, unregistered, and the store
// compared with its state before the run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "registry/store.h"
#include "tests/robustness/robust_support.h"
#include "tests/support/message_capture.h"
#include "tests/support/temp_store.h"

namespace {

struct CorpusCase {
  const char* file;
  // Null: the script uses no replacement but Module and must apply. Otherwise the first other
  // replacement name in the text, which the tool does not define.
  const char* missingName;
  // A key (path as TakeSnapshot names it, lower case) that must exist after registering; null
  // when the script fails before touching the store.
  const char* registeredKey;
  // A key that must still exist after unregistering (a NoRemove key), or null.
  const char* keptKey;
};

const CorpusCase kCases[] = {
    {"01-winmerge-shell-context-menu.rgs", nullptr,
     "hklm\\software\\classes\\directory\\shellex\\contextmenuhandlers\\winmerge",
     "hklm\\software\\classes\\directory"},
    {"02-winmerge-localserver-module-raw.rgs", "MODULE_RAW", nullptr, nullptr},
    {"03-omaha-localserver-appid-lowrights.rgs", "PROGID", nullptr, nullptr},
    {"04-omaha-dll-handler-quoted-hkroot.rgs", "HKROOT", nullptr, nullptr},
    {"05-omaha-oneclick-plugin-long.rgs", "HKROOT", nullptr, nullptr},
    {"06-spellchecker-hklm-then-hkcr.rgs", nullptr, nullptr, "hklm\\software\\classes\\clsid"},
    {"07-upnp-dimmer-free-threaded.rgs", nullptr, nullptr, "hklm\\software\\classes\\clsid"},
    {"08-oledb-provider-max-dword.rgs", nullptr, nullptr, "hklm\\software\\classes\\clsid"},
    {"09-speech-sr-engine-tokens.rgs", nullptr, nullptr, nullptr},
    {"10-comspy-appid-binary-acl.rgs", nullptr, nullptr, nullptr},
    {"11-nap-shv-appid-binary-runas.rgs", nullptr, nullptr, "hklm\\software\\classes\\appid"},
    {"12-eap-config-long-root-names.rgs", nullptr, nullptr, nullptr},
    {"13-sideshow-gadget-hkcu-multisz.rgs", "APPID", nullptr, nullptr},
    {"14-chromium-credential-provider-guid-vars.rgs", "CP_CLASS_GUID", nullptr, nullptr},
    {"15-chromeframe-activex-hive-systime.rgs", "HIVE", nullptr, nullptr},
    {"16-chromeframe-active-document-odd-s.rgs", "APPID", nullptr, nullptr},
    {"17-chromeframe-register-bho-unquoted-dword.rgs", nullptr, nullptr, nullptr},
    {"18-libreoffice-activex-stray-token.rgs", nullptr, nullptr, "hklm\\software\\classes\\clsid"},
    {"28-powertoys-empty-hkcr.rgs", nullptr, nullptr, nullptr},
    {"30-mediainfo-shellext-many-roots.rgs", "APPID", nullptr, nullptr},
};

std::string CorpusDir() {
  return std::string(KEYFOLD_SOURCE_ROOT) + "/../shared/corpus";
}

class CorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusTest, RegistersAndUnregistersAsItsContentSays) {
  const CorpusCase& c = GetParam();
  std::string text = ReadFileBytes(CorpusDir() + "/" + c.file);
  ASSERT_FALSE(text.empty()) << c.file;
  TempStore store;
  std::string dir = store.path() + "/it's";
  ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
  std::string path = dir + "/" + c.file;
  WriteFileBytes(path, text);

  robust::Snapshot before = robust::TakeSnapshot();
  HRESULT hr;
  std::string messages;
  {
    MessageCapture capture;
    hr = robust::RunFile(path, true);
    messages = capture.Joined();
  }
  robust::Snapshot registered = robust::TakeSnapshot();

  if (c.missingName) {
    // The replacement pass fails before anything runs: the store is untouched.
    EXPECT_EQ(DISP_E_EXCEPTION, hr);
    EXPECT_EQ(std::string("Map Entry not found\n<") + c.missingName + "> Not found in map\n",
              messages);
    EXPECT_EQ(before, registered);
  } else {
    EXPECT_EQ(S_OK, hr) << messages;
    EXPECT_EQ("", messages);
    if (text.find('{', text.find('{') + 1) != std::string::npos) {
      EXPECT_FALSE(robust::Added(before, registered).empty()) << "nothing was written";
    }
    if (c.registeredKey) {
      EXPECT_TRUE(registered.count(c.registeredKey)) << c.registeredKey;
    }
    // Every %MODULE% became the path with its quote doubled, then undoubled by the tokenizer.
    if (robust::Lower(text).find("%module%") != std::string::npos) {
      bool found = false;
      for (const auto& [key, values] : registered)
        for (const auto& [name, value] : values)
          if (value.second.find(path) != std::string::npos) found = true;
      EXPECT_TRUE(found) << "no value holds the script's path";
    }
  }

  {
    MessageCapture capture;
    HRESULT undo = robust::RunFile(path, false);
    if (c.missingName) {
      EXPECT_EQ(DISP_E_EXCEPTION, undo);
    } else {
      EXPECT_EQ(S_OK, undo) << capture.Joined();
    }
  }
  robust::Snapshot after = robust::TakeSnapshot();
  EXPECT_TRUE(robust::IsSubset(after, registered));
  EXPECT_EQ(std::vector<std::string>(), robust::UnexpectedResidue(before, after, text));
  if (c.keptKey) {
    EXPECT_TRUE(after.count(c.keptKey)) << c.keptKey;
  }
  EXPECT_EQ("", robust::CheckHives(store.path()));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CorpusCase>& info) {
                           return "Script" + std::string(info.param.file).substr(0, 2);
                         });

}  // namespace
