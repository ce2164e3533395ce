#include "agent.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../uiagent.h"
#include "driver.h"

namespace uidriver {
namespace agent {

namespace {

HWND g_main = nullptr;
DWORD g_thread = 0;
HMODULE g_dll = nullptr;
HHOOK g_hook = nullptr;
HWND g_reply = nullptr;
HWND g_agent = nullptr;
bool g_answered = false;
std::vector<char> g_answer;

LRESULT CALLBACK ReplyProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  static const UINT hello = RegisterWindowMessageA(uiagent::kHello);
  const COPYDATASTRUCT* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
  if (msg == WM_COPYDATA && cds && cds->dwData == uiagent::kMagic && cds->cbData >= sizeof(uiagent::Answer)) {
    const char* data = static_cast<const char*>(cds->lpData);
    g_answer.assign(data, data + cds->cbData);
    g_answered = true;
    return TRUE;
  }
  if (msg == hello) {
    g_agent = reinterpret_cast<HWND>(wp);
    return TRUE;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// The agent in the program's window thread, and our window for its
// answers; once per run of the driver.
bool Ready() {
  if (g_agent) return true;
  if (!g_main) return false;
  if (!g_reply) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ReplyProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "UidriverAgentReply";
    RegisterClassA(&wc);
    g_reply = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!g_reply) return false;
  }
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = n ? strrchr(path, '\\') : nullptr;
  if (!slash || slash + 13 >= path + MAX_PATH) return false;
  strcpy(slash + 1, "uiagent.dll");
  if (!g_dll) g_dll = LoadLibraryA(path);
  HOOKPROC proc = g_dll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(g_dll, "AgentHook"))) : nullptr;
  g_hook = proc ? SetWindowsHookExA(WH_GETMESSAGE, proc, g_dll, g_thread) : nullptr;
  if (!g_hook) {
    Fail("cannot put uiagent.dll into the program (error %lu)", GetLastError());
    return false;
  }
  static bool once = (atexit(Leave), true);
  (void)once;
  static const UINT hello = RegisterWindowMessageA(uiagent::kHello);
  PostMessageA(g_main, hello, reinterpret_cast<WPARAM>(g_reply), 0);
  const DWORD start = GetTickCount();
  while (!g_agent && GetTickCount() - start < g_opt.sendTimeout) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (!g_agent) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  if (!g_agent) Fail("the agent in the program does not answer");
  return g_agent != nullptr;
}

// One request and its answer, which comes while we wait in the send.
bool Call(uiagent::Op op, uint64_t address, uint32_t size, const void* payload, uiagent::Answer* a,
          std::vector<char>* data = nullptr) {
  if (!Ready()) return false;
  uiagent::Request r = {op, size, address, reinterpret_cast<uintptr_t>(g_reply)};
  std::vector<char> request(sizeof r + (payload ? size : 0));
  memcpy(request.data(), &r, sizeof r);
  if (payload) memcpy(request.data() + sizeof r, payload, size);
  COPYDATASTRUCT cds = {uiagent::kMagic, static_cast<DWORD>(request.size()), request.data()};
  g_answered = false;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(g_agent, WM_COPYDATA, reinterpret_cast<WPARAM>(g_reply), reinterpret_cast<LPARAM>(&cds),
                           SMTO_NORMAL, g_opt.sendTimeout, &result) ||
      !g_answered)
    return false;
  memcpy(a, g_answer.data(), sizeof *a);
  if (data) data->assign(g_answer.begin() + sizeof *a, g_answer.end());
  return a->ok != 0;
}

}  // namespace

void Leave() {
  static const UINT goodbye = RegisterWindowMessageA(uiagent::kGoodbye);
  DWORD_PTR r = 0;
  if (g_agent) SendMessageTimeoutA(g_agent, goodbye, 0, 0, SMTO_NORMAL, g_opt.sendTimeout, &r);
  if (g_hook) UnhookWindowsHookEx(g_hook);
  g_agent = nullptr;
  g_hook = nullptr;
}

bool InUse() {
  char value[8] = {};
  return GetEnvironmentVariableA("FERROLINK_UIAGENT", value, sizeof value) && value[0] == '1';
}

void Aim(HWND main, DWORD thread) {
  g_main = main;
  g_thread = thread;
}

bool Alloc(size_t size, uint64_t* address) {
  uiagent::Answer a;
  if (!Call(uiagent::kAlloc, 0, static_cast<uint32_t>(size), nullptr, &a)) return false;
  *address = a.address;
  return true;
}

bool Free(uint64_t address) {
  uiagent::Answer a;
  return Call(uiagent::kFree, address, 0, nullptr, &a);
}

bool Write(uint64_t address, const void* data, size_t n) {
  uiagent::Answer a;
  return Call(uiagent::kWrite, address, static_cast<uint32_t>(n), data, &a);
}

size_t Read(uint64_t address, void* data, size_t n) {
  uiagent::Answer a;
  std::vector<char> bytes;
  if (!Call(uiagent::kRead, address, static_cast<uint32_t>(n), nullptr, &a, &bytes)) return 0;
  const size_t got = bytes.size() < n ? bytes.size() : n;
  memcpy(data, bytes.data(), got);
  return got;
}

}  // namespace agent
}  // namespace uidriver
