#pragma once

// The entry of the application shell, which shows the installer's interface and runs until the
// application terminates; its result is the process's exit status. It stands in for the shell
// until the interface layer comes, returning 0 at once.
int runApplicationShell(int argc, char** argv);
