// The helper's log: one line per event, with a time, and whatever a client
// or a server sent shown escaped, so that no line can be forged and no byte
// reaches a terminal as a control sequence.
#pragma once
#include <string>

namespace lanlog {

// Where lines go: a file opened for appending, or standard error when
// `path` is empty. False when the file cannot be opened.
bool Open(const std::string& path);
void Line(const std::string& text);
// The descriptor lines go to, and another to use instead (a worker's copy).
int Fd();
void Use(int fd);
// Sends standard error to the log too (the library's own messages), when
// the log is a file.
void CaptureStandardError();
// `text` in double quotes, with control characters, '%', '"', C1 controls
// and bytes that are no UTF-8 shown as %XX.
std::string Quote(const std::string& text);

} // namespace lanlog
