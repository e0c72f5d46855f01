// A stand-in for the messaging wrapper library "KilnWrapper.dylib", for tests. It appends each
// call to the file WEND_FAKE_KILN_LOG ("initializeKiln <client>", "sendMessage <type> <target>"
// followed by the payload, "closeKiln") and answers a sent message from a thread of its own
// according to WEND_FAKE_KILN_ANSWER: "respond" sends the show-notification response, "other" a
// message of another type, anything else (or nothing) never answers. closeKiln joins the thread.
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "core/launch/KilnMessaging.h"

namespace {

KilnMessageCallback messageCallback = nullptr;
std::thread answerThread;

void record(const std::string& line) {
  const char* path = std::getenv("WEND_FAKE_KILN_LOG");
  if (path && *path) std::ofstream(path, std::ios::app) << line << "\n";
}

void answer(std::string type) {
  const KilnMessageRecord reply{type.c_str(), "<response/>", "WendB", "", false};
  if (messageCallback) messageCallback(&reply);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int initializeKiln(KilnStatusCallback status,
                                                          const char* client,
                                                          KilnMessageCallback callback) {
  messageCallback = callback;
  record(std::string("initializeKiln ") + client + " " + std::to_string(status(nullptr)));
  return 0;
}

__attribute__((visibility("default"))) int sendMessage(const KilnMessageRecord* message) {
  record(std::string("sendMessage ") + message->messageType + " " + message->target + " [" +
         message->fourthText + "] " + (message->flag ? "true" : "false") + "\n" + message->payload);
  const char* mode = std::getenv("WEND_FAKE_KILN_ANSWER");
  const std::string answerMode = mode ? mode : "";
  if (answerMode == "respond") {
    answerThread = std::thread(answer, "kiln.SuiteMessage.wend.app.ShowNotificationResponse");
  } else if (answerMode == "other") {
    answerThread = std::thread(answer, "kiln.SuiteMessage.wend.app.SomethingElse");
  }
  return 0;
}

__attribute__((visibility("default"))) void closeKiln() {
  if (answerThread.joinable()) answerThread.join();
  record("closeKiln");
}

}  // extern "C"
