#include "driver.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace uidriver {

Options g_opt;

int Fail(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  for (char* p = buf; *p; ++p)
    if (*p == '\r' || *p == '\n') *p = ' ';
  fprintf(stderr, "%s\n", buf);
  return 1;
}

void PrintLine(const std::string& s) {
  fwrite(s.data(), 1, s.size(), stdout);
  fputc('\n', stdout);
}

bool NumArg(const Args& a, size_t i, long def, long& out) {
  if (i >= a.size()) {
    out = def;
    return true;
  }
  char* end = nullptr;
  out = strtol(a[i].c_str(), &end, 0);
  return !a[i].empty() && *end == '\0';
}

int BadNumber(const Args& a, size_t i) {
  fprintf(stderr, "not a number: %s\n", i < a.size() ? a[i].c_str() : "");
  return 2;
}

}  // namespace uidriver
