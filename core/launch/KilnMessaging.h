#pragma once

// The entry points of the messaging wrapper library "KilnWrapper.dylib", which asks the suite's
// messaging service to show a notification. The library lies outside wend; these are the only
// shapes wend relies on. Each entry may be missing from a library.

extern "C" {

// A message as sent, and as received by the message callback (which reads only messageType).
struct KilnMessageRecord {
  const char* messageType;
  const char* payload;
  const char* target;
  const char* fourthText;
  bool flag;
};

// The first callback: no role beyond answering 0.
typedef int (*KilnStatusCallback)(void* context);
// Called for each message the library receives, on a thread of the library's choosing, until
// closeKiln returns. The record is valid for the call only.
typedef void (*KilnMessageCallback)(const KilnMessageRecord* record);

typedef int (*KilnInitializeFunction)(KilnStatusCallback statusCallback, const char* clientName,
                                      KilnMessageCallback messageCallback);
typedef int (*KilnSendMessageFunction)(const KilnMessageRecord* record);
typedef void (*KilnCloseFunction)();

}  // extern "C"
