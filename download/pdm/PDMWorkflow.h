#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace orvel::PackageDownloadManager {

struct PDMContext;

// The manager's states.
enum PDMState : int32_t {
  DOWNLOAD_ASSET_MANIFEST = 0,
  PARSE_MANIFEST = 1,
  DOWNLOAD_ASSET_VALIDATION = 2,
  PARSE_VALIDATION = 3,
  CHECK_DOWNLOADED_ASSET = 4,
  DOWNLOAD_ASSET = 5,
  VALIDATE_ASSET_SIGNATURE = 6,
  EXECUTE_ASSET = 7,
  END_WORKFLOW = 8,
};

// Runs one step of a state; see PDMWorkflowManager.
class WorkflowManagerBase {
 public:
  virtual ~WorkflowManagerBase() = default;
  virtual void executeState(int32_t /*state*/, PDMContext* /*context*/) {}
};

// Builds the list of states to run.
class WorkflowGeneratorBase {
 public:
  virtual ~WorkflowGeneratorBase() = default;
  // True for a non-null context.
  virtual bool generateWorkflow(const PDMContext* context) { return context != nullptr; }
  const std::vector<int32_t>& states() const { return states_; }

 protected:
  std::vector<int32_t> states_;
};

// The three workflows' state lists; an unknown workflow id gets an empty list.
class PDMWorkflowGenerator final : public WorkflowGeneratorBase {
 public:
  PDMWorkflowGenerator();
  bool generateWorkflow(const PDMContext* context) override;

 private:
  std::map<int32_t, std::vector<int32_t>> workflows_;
};

// Position in the generator's list. Used under the manager's instance lock.
class WorkflowCursor {
 public:
  explicit WorkflowCursor(const WorkflowGeneratorBase* generator) : generator_(generator) {}
  // False for a null manager; true when the list is exhausted; else runs the current state's step.
  bool step(WorkflowManagerBase* manager, PDMContext* context);
  void advance() { ++index_; }
  // True when the list is exhausted, else the current state in `state`.
  bool current(int32_t& state) const;

 private:
  uint32_t index_ = 0;
  const WorkflowGeneratorBase* generator_;
};

}  // namespace orvel::PackageDownloadManager
