#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "core/context/ContextParts.h"

class ServiceState;

// The survey: its context fetched from the context service (GET with sapCode and locale), the
// page-view beacon (GET to the beacon base with mid, aid, TallyVersion and the page) and the
// answers POSTed as JSON to the context service. Requests go through the proxy credentials the
// sign-in profile was given.
//
// Threads: the workflow thread and the view-message dispatcher; fields are guarded, and no lock
// is held across a request, which blocks its caller.
class SurveyManager final : public ISurveyManager {
 public:
  static constexpr int kSurveyFound = 0;
  static constexpr int kNoSurvey = 2;

  struct Answers {
    std::string skill;
    std::string job;
    std::string purpose;
  };

  explicit SurveyManager(std::shared_ptr<ServiceState> state);

  // kSurveyFound when the reply is a JSON object holding a "survey" object; kNoSurvey for any
  // other reply, status or failure.
  int fetchSurveyContext() override;
  void sendPageViewBeacon(bool onLoad) override;
  void sendSurveyResults() override;
  // The answers from the survey screen's data ("skill", "job", "purpose"); empty data logs
  // "No survey data found." and keeps the answers.
  void loadSurveyData(const std::string& data) override;

  // The answers the results carry (version "1.0").
  void setAnswers(Answers answers);

 private:
  const std::shared_ptr<ServiceState> state_;
  mutable std::mutex mutex_;
  Answers answers_;  // guarded by mutex_
};
