#include "framework/string.h"
#include <cstdarg>
#include <cstdio>
#include <vector>

CString CString::Mid(int first, int count) const
{
    const int len = GetLength();
    if (first < 0) first = 0;
    if (first > len) first = len;
    if (count < 0) count = 0;
    if (count > len - first) count = len - first;
    return CString(m_s.substr(first, count));
}

CString& CString::MakeUpper()
{
    if (!m_s.empty())
        CharUpperBuffA(&m_s[0], static_cast<DWORD>(m_s.size()));
    return *this;
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        m_s.clear();
    } else {
        std::vector<char> buf(n + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        m_s.assign(buf.data(), n);
    }
    va_end(args);
}
