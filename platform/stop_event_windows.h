// A stop asked for through a named event: how cellport-batch stops its
// converters on Windows whether or not they share its console (a console
// event reaches only processes attached to the console it is raised in).
#pragma once

namespace platform {

// The event named by CELLPORT_STOP_EVENT in the environment, if any, is
// waited for on a thread of its own, which calls `onStop` once it is set.
// True, and no thread, when it is set already: a stop that came before the
// run began. A name that opens no event is ignored.
bool WatchStopEvent(void (*onStop)());

}  // namespace platform
