// Ferrolink's version, in one place: the program's version resource, and
// the Makefile's packages (it reads FL_VERSION_TEXT; the Debian changelog
// must agree).
#pragma once

#define FL_VERSION_NUMBERS      1,0,0,0
#define FL_VERSION_TEXT         "1.0"
