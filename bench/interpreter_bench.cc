// Interpreter throughput: registers and then unregisters a generated script of CLSID-like
// entries (100,000 keys) against a fresh real store, and runs the same passes against a
// registry that does nothing, to show the interpreter's own share of the time.
//
//   cmake -S . -B build-bench -G Ninja -DKEYFOLD_BENCH=ON -DKEYFOLD_TESTS=OFF
//   ninja -C build-bench interpreter_bench && build-bench/bench/interpreter_bench [keys]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/diagnostics.h"
#include "registry/registry_api.h"
#include "registry/store.h"
#include "script/parser.h"

namespace {

// Three keys per entry: the class key, its server key and its ProgID key, with four values.
std::string MakeScript(int keys) {
  std::string text = "HKCR\n{\n  NoRemove CLSID\n  {\n";
  char entry[512];
  for (int i = 0; i * 3 < keys; ++i) {
    snprintf(entry, sizeof(entry),
             "    ForceRemove {%08X-1234-5678-9ABC-%012d} = s 'Sample Component %d'\n"
             "    {\n"
             "      InprocServer32 = s '/opt/sample/lib/component%d.so'\n"
             "      {\n"
             "        val ThreadingModel = s 'Apartment'\n"
             "      }\n"
             "      ProgID = s 'Sample.Component.%d'\n"
             "      val Flags = d %d\n"
             "    }\n",
             i, i, i, i, i, i);
    text += entry;
  }
  text += "  }\n}\n";
  return text;
}

// Succeeds at everything and stores nothing: every key opens, none has subkeys or values.
class NullRegistry : public RegistryApi {
 public:
  LONG OpenKeyEx(HKEY, LPCSTR, DWORD, REGSAM, PHKEY result) override {
    *result = reinterpret_cast<HKEY>(&m_token);
    return ERROR_SUCCESS;
  }
  LONG CreateKeyEx(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                   PHKEY result, LPDWORD) override {
    *result = reinterpret_cast<HKEY>(&m_token);
    return ERROR_SUCCESS;
  }
  LONG CloseKey(HKEY) override { return ERROR_SUCCESS; }
  LONG SetValueEx(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) override { return ERROR_SUCCESS; }
  LONG DeleteValue(HKEY, LPCSTR) override { return ERROR_SUCCESS; }
  LONG DeleteKey(HKEY, LPCSTR) override { return ERROR_SUCCESS; }
  LONG EnumKeyEx(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, FILETIME*) override {
    return ERROR_NO_MORE_ITEMS;
  }
  LONG QueryInfoKey(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD subKeys, LPDWORD, LPDWORD,
                    LPDWORD values, LPDWORD, LPDWORD, LPDWORD, FILETIME*) override {
    if (subKeys) *subKeys = 0;
    if (values) *values = 0;
    return ERROR_SUCCESS;
  }
  LONG EnumValue(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) override {
    return ERROR_NO_MORE_ITEMS;
  }
  LONG QueryValueEx(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) override {
    return ERROR_FILE_NOT_FOUND;
  }

 private:
  int m_token = 0;
};

// Runs one pass (and, against the store, commits it); returns seconds.
double TimePass(const std::string& script, BOOL registerMode, bool commit) {
  std::string text = script;
  CScriptParser parser;
  auto start = std::chrono::steady_clock::now();
  HRESULT hr = parser.RunScriptText(text.data(), registerMode);
  if (commit) CommitRegistry();
  auto end = std::chrono::steady_clock::now();
  if (FAILED(hr)) {
    fprintf(stderr, "pass failed: 0x%08X\n", static_cast<unsigned>(hr));
    exit(1);
  }
  return std::chrono::duration<double>(end - start).count();
}

void Report(const char* what, double seconds, size_t bytes, int keys) {
  printf("%-30s %8.3f s %10.1f MB/s %12.0f keys/s\n", what, seconds, bytes / seconds / 1e6,
         keys / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int keys = argc > 1 ? atoi(argv[1]) : 100000;
  g_nMessageLevel = 0;
  g_bShowMessages = 0;

  char dir[] = "/tmp/keyfold-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  setenv("KEYFOLD_REGISTRY", dir, 1);

  std::string script = MakeScript(keys);
  int written = (keys + 2) / 3 * 3;
  printf("script: %zu bytes, %d keys\n", script.size(), written);

  Report("register (store)", TimePass(script, TRUE, true), script.size(), written);
  Report("unregister (store)", TimePass(script, FALSE, true), script.size(), written);
  // The unregister pass must have taken back every class key it timed.
  HKEY clsid = nullptr;
  DWORD left = 1;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &clsid) == ERROR_SUCCESS) {
    RegQueryInfoKeyA(clsid, nullptr, nullptr, nullptr, &left, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(clsid);
  }
  if (left != 0) {
    fprintf(stderr, "unregister left %u class keys\n", static_cast<unsigned>(left));
    return 1;
  }

  NullRegistry null;
  RegistryApi* previous = SetRegistryApi(&null);
  // Best of three: these passes are short and sensitive to noise.
  double best[2] = {1e9, 1e9};
  for (int round = 0; round < 3; ++round) {
    for (int mode = 0; mode < 2; ++mode) {
      double seconds = TimePass(script, mode == 0 ? TRUE : FALSE, false);
      if (seconds < best[mode]) best[mode] = seconds;
    }
  }
  SetRegistryApi(previous);
  Report("register (null registry)", best[0], script.size(), written);
  Report("unregister (null registry)", best[1], script.size(), written);

  CloseRegistryStore();
  std::string remove = std::string("rm -rf '") + dir + "'";
  return system(remove.c_str()) == 0 ? 0 : 1;
}
