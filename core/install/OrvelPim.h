/* The installer library's calls and records, x86_64 layout: the fields in their documented
 * order, natural alignment, every gap a reserved field so both sides agree byte for byte.
 * Plain C so that a library can be built from this header alone.
 *
 * Calls, all from the installer's install thread, in this order:
 *   pim_startWorkflow runs the whole download and installation, calling the progress callback on
 *     its own thread many times, and returns an installer status code (0 and 6 success, 215
 *     cancelled); `out` points to two zero words.
 *   pim_getInstallStatus, after a failure only: sets *text to an "install_result" XML document
 *     owned by the library, or leaves it null.
 *   pim_freeString hands that text back through the same pointer's address.
 * Texts given to the library stay valid until pim_startWorkflow returns. */
#ifndef WEND_CORE_INSTALL_ORVELPIM_H
#define WEND_CORE_INSTALL_ORVELPIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Record types of PimProgress.type. */
enum {
  PIM_PROGRESS = 0,
  PIM_DOWNLOAD_STARTED = 1,
  PIM_DOWNLOAD_FINISHED = 2,
  PIM_DOWNLOAD_FAILED = 3,
  PIM_NOT_PAUSABLE = 4, /* never answered with pause or cancel */
  PIM_INSTALL_STARTED = 5
};

/* The callback's answers. */
enum {
  PIM_ANSWER_NULL_RECORD = -1,
  PIM_ANSWER_GO_ON = 0,
  PIM_ANSWER_PAUSE = 2,
  PIM_ANSWER_RESUME = 3,
  PIM_ANSWER_CANCEL = 4,
  PIM_ANSWER_RETRY = 5
};

typedef struct PimProgress {
  float progress;        /* overall, percent */
  int32_t type;          /* PIM_PROGRESS ... */
  float downloadPercent; /* analytics only */
  uint32_t reserved0[2];
  int32_t status; /* installer status code, 0 without an error */
  uint8_t retryable;
  uint8_t reserved1[3];
  uint32_t reserved2;
  const char* proxyUserName; /* written by the installer when it answers retry to 212 */
  const char* proxyPassword;
  float downloadRate;      /* analytics only */
  int32_t buttonClickTime; /* analytics only */
  const char* errorDetail; /* analytics only */
  int32_t subStatus;
  uint32_t reserved3;
} PimProgress;

typedef int (*PimProgressCallback)(PimProgress* record);

typedef struct PimWorkflowArgs {
  uint32_t reserved0; /* 0 */
  uint32_t reserved1;
  PimProgressCallback callback;
  const char* applicationXml; /* the desktop application's XML */
  const char* proxyUserName;  /* may be empty */
  const char* proxyPassword;
} PimWorkflowArgs;

typedef int (*PimStartWorkflowFn)(PimWorkflowArgs* args, uint32_t* out);
typedef int (*PimGetInstallStatusFn)(char** text);
typedef void (*PimFreeStringFn)(char** text);

int pim_startWorkflow(PimWorkflowArgs* args, uint32_t* out);
int pim_getInstallStatus(char** text);
void pim_freeString(char** text);

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && defined(__x86_64__)
static_assert(offsetof(PimProgress, type) == 4);
static_assert(offsetof(PimProgress, downloadPercent) == 8);
static_assert(offsetof(PimProgress, status) == 20);
static_assert(offsetof(PimProgress, retryable) == 24);
static_assert(offsetof(PimProgress, proxyUserName) == 32);
static_assert(offsetof(PimProgress, proxyPassword) == 40);
static_assert(offsetof(PimProgress, downloadRate) == 48);
static_assert(offsetof(PimProgress, buttonClickTime) == 52);
static_assert(offsetof(PimProgress, errorDetail) == 56);
static_assert(offsetof(PimProgress, subStatus) == 64);
static_assert(sizeof(PimProgress) == 72);
static_assert(offsetof(PimWorkflowArgs, callback) == 8);
static_assert(offsetof(PimWorkflowArgs, applicationXml) == 16);
static_assert(offsetof(PimWorkflowArgs, proxyUserName) == 24);
static_assert(offsetof(PimWorkflowArgs, proxyPassword) == 32);
static_assert(sizeof(PimWorkflowArgs) == 40);
#endif

#endif /* WEND_CORE_INSTALL_ORVELPIM_H */
