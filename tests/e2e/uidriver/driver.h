// What every part of uidriver shares: the options, the program's control ids
// and the few ways a command reports.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace uidriver {

// Controls of the main window.
constexpr int kIdStatus = 101;
constexpr int kIdScan = 1003;
constexpr int kIdLocation = 1006;
constexpr int kIdTree = 1007;
constexpr int kIdList = 1008;
// The text static of a MessageBox dialog.
constexpr int kIdMsgText = 0xFFFF;

constexpr char kMainTitlePrefix[] = "Ferrolink ";
constexpr char kAboutTitlePrefix[] = "About ";
constexpr DWORD kDefaultTimeout = 10000;
constexpr DWORD kPollMs = 50;
// Item texts run up to 16 KB; room to spare, and for the structure in front.
constexpr size_t kTextMax = 65536;
constexpr size_t kRemoteSize = kTextMax + 4096;

struct Options {
  bool caption = false;               // messagebox: caption on a first line
  bool keep = false;                  // messagebox: leave the box open
  DWORD pid = 0;                      // only this process (0: any)
  std::string exe = "ferrolink.exe";  // boxes of this image count even with no main window
  DWORD sendTimeout = 5000;           // the longest one message to the program may take
  bool traceStatus = false;           // log the program's status texts while the command runs
};
extern Options g_opt;

using Args = std::vector<std::string>;

// A one-line reason on stderr; the caller returns the exit code.
int Fail(const char* fmt, ...);

void PrintLine(const std::string& s);

// Missing values take the default; false for a malformed number.
bool NumArg(const Args& a, size_t i, long def, long& out);

int BadNumber(const Args& a, size_t i);

}  // namespace uidriver
