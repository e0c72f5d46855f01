#pragma once

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "mediation/helper/HelperLocation.h"

namespace wendtest {

// Folders for the helper lookup: a fixed path each, or none; "system" asks the real lookup.
class FixedHelperFolders final : public mediation::IHelperFolders {
 public:
  FixedHelperFolders(std::optional<std::string> first, std::optional<std::string> second)
      : first_(std::move(first)), second_(std::move(second)) {}

  bool programParentFolder(std::string& path) const override {
    return answer(first_, &mediation::IHelperFolders::programParentFolder, path);
  }
  bool sharedComponentsFolder(std::string& path) const override {
    return answer(second_, &mediation::IHelperFolders::sharedComponentsFolder, path);
  }

  static constexpr char kSystem[] = "system";

 private:
  bool answer(const std::optional<std::string>& fixed,
              bool (mediation::IHelperFolders::*lookup)(std::string&) const,
              std::string& path) const {
    if (!fixed) return false;
    if (*fixed == kSystem) return (*system_.*lookup)(path);
    path = *fixed;
    return true;
  }

  std::optional<std::string> first_, second_;
  std::unique_ptr<mediation::IHelperFolders> system_ = mediation::systemHelperFolders();
};

// The stand-in helper's JSON-lines transcript.
class HelperTranscript {
 public:
  explicit HelperTranscript(std::string path) : path_(std::move(path)) {}

  std::vector<Json::Value> lines() const {
    std::vector<Json::Value> out;
    std::ifstream file(path_);
    for (std::string line; std::getline(file, line);) {
      Json::Value value;
      if (Json::Reader(Json::Features()).parse(line, value, false)) out.push_back(value);
    }
    return out;
  }
  // The events of one helper process, in order.
  std::vector<Json::Value> of(int pid) const {
    std::vector<Json::Value> out;
    for (const Json::Value& line : lines()) {
      if (line["pid"].asLargestInt() == pid) out.push_back(line);
    }
    return out;
  }
  std::vector<int> helpers() const {
    std::vector<int> pids;
    for (const Json::Value& line : lines()) {
      if (line["event"].asString() == "started") pids.push_back(line["pid"].asLargestInt());
    }
    return pids;
  }
  bool has(const std::string& event) const {
    for (const Json::Value& line : lines()) {
      if (line["event"].asString() == event) return true;
    }
    return false;
  }
  // Ends helpers still waiting for a peer and removes the FIFOs of every channel they named.
  void cleanUp() const {
    for (const Json::Value& line : lines()) {
      if (line["event"].asString() == "started") kill(line["pid"].asLargestInt(), SIGKILL);
      for (const char* key : {"channel", "pipeName"}) {
        const std::string name = line[key].asString();
        if (name.empty() || name.find('/') != std::string::npos) continue;
        unlink(("/tmp/" + name + "_IN").c_str());
        unlink(("/tmp/" + name + "_OUT").c_str());
      }
    }
  }

 private:
  std::string path_;
};

}  // namespace wendtest
