#pragma once

// Formats like printf into a 4096-byte buffer, cutting longer output, and
// hands it to the platform logger as one line. Always returns 0.
int debug_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
