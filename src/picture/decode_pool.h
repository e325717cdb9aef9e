#pragma once
// Threads that decode pictures away from the window's thread: up to one per core (at most
// four), started as work comes and ended after a few idle seconds; stopped, their queued jobs
// dropped, when the application object goes away.
#include <functional>

#include "picture/picture_decoder.h"
#include "runtime/text.h"

namespace mw::picture {

// Runs `job` on a decoding thread; jobs start in the order given.
void runDecodeJob(std::function<void()> job);

// Runs `fn` later on the window's thread, from its event loop (dropped without one).
void runOnWindowThread(std::function<void()> fn);

// Runs `job` on a decoding thread, the window's events pumped meanwhile as in any wait, until it
// is done. False at once when waits are aborted; the job may then still run, so it must own
// what it uses.
bool runWhileWaiting(std::function<void()> job);

// `bytes` decoded once at full size (a copy's picture) on a decoding thread, the window's
// events pumped meanwhile as in any wait. Fails at once when waits are aborted.
DecodedPicture decodeWhileWaiting(Bytes bytes);

}  // namespace mw::picture
