// The fixed calls of the tracing and utility library that the whole component uses: trace lines,
// library start-up and shut-down, number formatting and the password transform.
// Every call is safe from any thread at any time, including before VOK_Startup.
#pragma once

#if defined(__GNUC__)
#define VOK_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VOK_PRINTF_FORMAT(fmt, args)
#endif

// The trace calls are part of the public interface, with C linkage so any client can add lines.
#include <vokquote/trace.h>

void VOK_Startup();
void VOK_Shutdown();

// Writes value as NUL-terminated text into buffer (size bytes, cut to fit).
// format 2: an option strike price, at most three decimals and no trailing zeros ("52.5", "100").
// format 1: two decimals ("12.50"). Any other format: up to eight decimals, trailing zeros removed.
void VOK_FormatNumber(double value, char* buffer, int size, int format);

// The stored and sent form of a password: the lowercase hex SHA-256 of clearText, 64 characters
// and a NUL in target (65 bytes). The clear text is never traced.
void VOK_TransformPassword(const char* clearText, char* target);
