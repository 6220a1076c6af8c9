// Resource identifiers shared by Tamsrove.rc and the code that loads them.
#pragma once

#define IDI_TAMSROVE 1
#define IDB_LOGO 101
