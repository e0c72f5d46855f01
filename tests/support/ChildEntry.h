#pragma once

// WEND_CHILD_ENTRY(function): `void function(int argc, char** argv, char** envp)` runs when the
// test program loads, before main: a child role started with startSelf acts on its arguments and
// ends the process there; in a normal run it returns at once. The entry is writable, like the
// compiler's own .init_array entries that share the section in the same object.
#define WEND_CHILD_ENTRY(function)                                                 \
  __attribute__((section(".init_array"), used)) void (*wendChildEntry_##function)( \
      int, char**, char**) = function
