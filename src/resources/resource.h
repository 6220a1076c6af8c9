// Resource identifiers shared by Tamsrove.rc and the code that loads them.
#pragma once

// Macros, not constants: the resource compiler reads this file too and knows only macros.
// NOLINTBEGIN(cppcoreguidelines-macro-usage)
#define IDI_TAMSROVE 1
// NOLINTEND(cppcoreguidelines-macro-usage)
