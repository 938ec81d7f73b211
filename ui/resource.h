#pragma once
// Resource identifiers, shared by zelvane.rc and the code.

#define IDI_ZELVANE 1
