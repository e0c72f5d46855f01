#pragma once

// WEND_TIME_SCALE: one factor by which multi-process tests and the demo stretch or shrink every
// fixed wait of every component. 1.0 when unset, empty, not a number or not positive, so a typo
// never turns a wait into zero.
namespace platform {

double timeScaleFromEnvironment();

}  // namespace platform
