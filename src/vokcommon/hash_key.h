// HashKey: the 32-bit hash of a wide symbol text used as the bucket key of per-thread symbol maps.
// Every code unit is taken as 16 bits, so a symbol hashes alike from a BSTR (char16_t here,
// wchar_t on Windows) and from a Linux wchar_t text, on every platform.
#pragma once

#include "platform/com.h"

// Times-33 hash of the code units up to the terminating NUL; a null key hashes to 0.
UINT HashKey(const wchar_t* key);
UINT HashKey(const char16_t* key);
