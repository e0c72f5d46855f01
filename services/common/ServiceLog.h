#pragma once

// The online services' log lines, through the installer's log function with the module tag
// "Bootstrapper" and the component given. No token, secret or password is ever passed here.
// Any thread.
void serviceLog(int level, const char* component, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
