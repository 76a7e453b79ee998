// SIGINT and SIGTERM as a released Escape: the production then ends through
// its normal shutdown (cursor shown, playback stopped, device closed). A
// second signal ends the process at once.
//
// installStopSignals must run first in main, before any other thread exists:
// it blocks both signals in every thread and lets one watcher thread take
// them with sigwait, so no handler ever runs in a signal context.
#pragma once

void installStopSignals();
