#include "run/run.h"

#include <cstdarg>

#include "platform/platform.h"
#include "run/text_field.h"

int debug_log(const char* format, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, format);
    format_text(buffer, format, args);
    va_end(args);
    // Through "%s", so that a '%' in a device's text is not read as a directive.
    log_Debug("%s", buffer);
    return 0;
}
