#pragma once

#include <cstdint>

#include "download/engine/DLEFileDownloader.h"

// The engine's entry points. A client opens the library once (initDownloadLibrary), makes one
// handle per file (createFileDownloader ... closeFileDownloader) and closes the library after its
// last handle (endDownloadLibrary). Results (DLEResult): kDleResultOk, kDleResultAlreadyDone (the
// slot is already set), kDleResultInvalidArgument (a null argument), kDleResultFailed (out of
// memory). Any thread; nothing throws.
namespace gde {

// The library reference: an opaque token; the engine only checks that it exists.
struct DLELibRef {
  uintptr_t reserved[2] = {0, 0};
};

// Opens the engine log and makes a reference in an empty slot.
int32_t initDownloadLibrary(DLELibRef** slot);
int32_t createFileDownloader(DLELibRef* library, DLEFileDownloader** slot);
// Stops the download, destroys the handle and empties the slot; returns the stop's result.
int32_t closeFileDownloader(DLEFileDownloader** slot);
// Frees the reference, empties the slot and gives the engine log back.
int32_t endDownloadLibrary(DLELibRef** slot);

// The same with the engine's waits replaced (tests and tools).
int32_t createFileDownloaderWithSettings(DLELibRef* library, DLEFileDownloader** slot,
                                         const DownloadSettings& settings);

}  // namespace gde
