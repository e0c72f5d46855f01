#pragma once

#include <string>
#include <string_view>

#include "tools/testserver/TestServer.h"

// The script that sets up a test server started as a process: one directive a line, "#" starts a
// comment.
//   generate PATH SIZE [SEED]      a generated body (BodyPattern)
//   body PATH TEXT...              a fixed text (the rest of the line)
//   gzip PATH                      serve PATH gzip-encoded to requests that accept it
//   proxy-credentials USER:PASS    proxy requests need these Basic credentials
//   rule PATH [first=N] [count=N] FAULT
// FAULT is one of: status=CODE [retry-after=S], reset-after=BYTES, stall-before-reply,
// close-before-reply, stall-after=BYTES, slow=BYTES_PER_SECOND, ignore-range,
// wrong-content-range, short-body, changed-etag, corrupt-body, redirect=LOCATION, redirect-loop,
// unsized-short-body, version=SIZE:SEED, head-size=BYTES, long-body=BYTES.
namespace testserver {

// Applies every directive to `server`. False, with the line and what is wrong in `error`, at the
// first bad line; the directives before it stay applied.
bool applyScript(std::string_view script, TestServer& server, std::string& error);

}  // namespace testserver
