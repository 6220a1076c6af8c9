// Resource identifiers shared by Tamsrove.rc and the code that loads them.
#pragma once

// Macros, not constants: the resource compiler reads this file too and knows only macros.
// NOLINTBEGIN(cppcoreguidelines-macro-usage)
#define IDI_TAMSROVE 1
#define IDB_LOGO 101
#define IDB_LOGO_150 102
#define IDB_LOGO_200 103
// NOLINTEND(cppcoreguidelines-macro-usage)
